#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>

#include "widgets/support/MainWindowFixture.h"

using pelkora::DesktopServices;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;

namespace {

const QString kHint =
    QString::fromUtf8("Setup \u203a Sound directory chooses where your recordings are.");
const QString kWaiting = QString::fromUtf8("Waiting for TX \u2014 press Alt+T");

// The window on the fixture's fakes, but with the real Qt message boxes.
std::unique_ptr<TPelkoranForm> windowWithRealBoxes(MainWindowFixture& fixture) {
    DesktopServices services{
        fixture.scheduler,  fixture.sound, fixture.wavProbe, fixture.pttDevices,
        fixture.profiles,   fixture.bus,   fixture.log,      fixture.startDir(),
        "/usr/bin/pelkora", nullptr,       nullptr,          nullptr};
    services.confirmClose = [] { return true; };
    services.showInformation = [](const QString&) {};  // the microphone lookup's box
    return std::make_unique<TPelkoranForm>(services);
}

// Answers the message boxes as they appear: notes each one's text, runs
// what the test does while it is open (the box's own event loop is running
// then), and closes it from the loop.
class BoxAnswerer : public QObject {
  public:
    explicit BoxAnswerer(std::function<void(int box)> whileOpen)
        : whileOpen_(std::move(whileOpen)) {
        poll_.setInterval(5);
        connect(&poll_, &QTimer::timeout, this, [this] { look(); });
        poll_.start();
    }

    QStringList texts;
    int mostOpenAtOnce = 0;

  private:
    void look() {
        int open = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible()) {
                continue;
            }
            ++open;
            // Marked on the box itself: the next box may take the address
            // of the one before it.
            if (box->property("answered").toBool()) {
                continue;
            }
            box->setProperty("answered", true);
            texts.append(box->text());
            if (whileOpen_) {
                whileOpen_(static_cast<int>(texts.size()));
            }
            QTimer::singleShot(0, box, [box] { box->accept(); });
        }
        mostOpenAtOnce = std::max(mostOpenAtOnce, open);
    }

    std::function<void(int)> whileOpen_;
    QTimer poll_;
};

QString statusText(MainWindowFixture& fixture) {
    auto* label = fixture.find<QLabel>("StatusLine");
    return label->isVisible() ? label->text() : QString();
}

void shoot(QWidget& window, const char* name) {
    const QByteArray dir = qgetenv("PELKORA_SHOT_DIR");
    if (!dir.isEmpty()) {
        QCoreApplication::processEvents();  // the layout makes room for the line
        QDir().mkpath(QString::fromLocal8Bit(dir));
        window.grab().save(QString::fromLocal8Bit(dir) + "/status-" + name + ".png");
    }
}

}  // namespace

// How the main window tells the operator what the keyer reports: errors in
// boxes opened from the loop, never inside the keyer's own call, and the
// line under the display.
class tst_keyerreports : public QObject {
    Q_OBJECT

  private slots:
    void errorBoxOpensOnceTheKeyerCallHasReturned();
    void errorsWhileABoxIsOpenWaitForIt();
    void statusLineGuidesAFirstStart_data();
    void statusLineGuidesAFirstStart();
};

void tst_keyerreports::errorBoxOpensOnceTheKeyerCallHasReturned() {
    MainWindowFixture fixture;
    fixture.seed("Config", "PTTPort", "1");
    fixture.addSound("2.wav", 100);
    fixture.addSound("3.wav", 100);
    fixture.addSound("4.wav", 100);
    auto window = windowWithRealBoxes(fixture);
    window->setMacro(2, "~[tx]~[p4x]~[f2.wav]~[f3.wav]");
    window->setMacro(4, "~[f4.wav]");

    QStringList playingWhenShown;
    BoxAnswerer answerer([&](int) {
        playingWhenShown = fixture.played();
        // The operator and the keyer's timers act while the box is open.
        window->engine().ClearListButtonClick();
        window->AddSoundClick(4);
        fixture.scheduler.advanceBy(500);
    });
    window->AddSoundClick(2);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QTRY_COMPARE(answerer.texts, QStringList{"'4x' is not a valid integer value"});
    QCOMPARE(playingWhenShown,
             QStringList{"play " + QString::fromStdString(fixture.soundFile("2.wav"))});
    QCOMPARE(fixture.played(),
             (QStringList{"play " + QString::fromStdString(fixture.soundFile("2.wav")),
                          "play " + QString::fromStdString(fixture.soundFile("4.wav"))}));
    QVERIFY(fixture.serialLines.rts());
}

void tst_keyerreports::errorsWhileABoxIsOpenWaitForIt() {
    MainWindowFixture fixture;
    auto window = windowWithRealBoxes(fixture);
    window->setMacro(2, "~[tx]~[p4x]~[p5y]");
    window->setMacro(3, "~[p6z]");
    BoxAnswerer answerer([&](int box) {
        if (box == 1) {
            // More errors while the first is shown: one through the queue,
            // one reported straight away.
            window->AddSoundClick(3);
            window->engine().onSoundServerLost("gone");
        }
    });
    window->AddSoundClick(2);
    QTRY_COMPARE(answerer.texts.size(), 4);
    QCOMPARE(
        answerer.texts,
        (QStringList{"'4x' is not a valid integer value", "'5y' is not a valid integer value",
                     "'6z' is not a valid integer value", "Sound server not available: gone"}));
    QCOMPARE(answerer.mostOpenAtOnce, 1);
    QTest::qWait(50);
    QCOMPARE(answerer.texts.size(), 4);  // one box for each error
}

void tst_keyerreports::statusLineGuidesAFirstStart_data() {
    QTest::addColumn<QString>("directory");  // "missing", "empty" or "filled"
    QTest::addColumn<QString>("atStart");
    QTest::addColumn<QString>("afterF2");
    QTest::addColumn<QString>("afterAltT");
    const QString missing = "The sound directory %1 does not exist.\n" + kHint;
    const QString empty = "No recordings in %1.\n" + kHint;
    QTest::newRow("missing") << "missing" << missing << kWaiting + "\n" + missing
                             << "Not found in %1: 2.wav\n" + missing;
    QTest::newRow("empty") << "empty" << empty << kWaiting + "\n" + empty
                           << "Not found in %1: 2.wav\n" + empty;
    QTest::newRow("filled") << "filled" << QString() << kWaiting << QString();
}

void tst_keyerreports::statusLineGuidesAFirstStart() {
    QFETCH(QString, directory);
    QFETCH(QString, atStart);
    QFETCH(QString, afterF2);
    QFETCH(QString, afterAltT);
    MainWindowFixture fixture;
    const QString sounds = QString::fromStdString(fixture.startDir()) + "sound";
    if (directory != "missing") {
        QVERIFY(QDir().mkpath(sounds));
    }
    if (directory == "filled") {
        QFile recording(sounds + "/2.wav");
        QVERIFY(recording.open(QIODevice::WriteOnly));
        fixture.addSound("2.wav", 100);
    }
    QVERIFY(fixture.buildShown());
    QVERIFY(fixture.activateMainWindow());
    TPelkoranForm& window = fixture.window();
    auto* label = fixture.find<QLabel>("StatusLine");
    auto* memo = fixture.find<QPlainTextEdit>("SpeechMemo");

    QTRY_COMPARE(statusText(fixture), atStart.arg(sounds));
    shoot(window, qPrintable("start-" + directory));
    QTest::keyClick(&window, Qt::Key_F2);
    QTRY_COMPARE(statusText(fixture), afterF2.arg(sounds));
    QVERIFY(label->geometry().top() >= memo->geometry().bottom());
    shoot(window, qPrintable("f2-" + directory));
    // The "&TX" mnemonic clicks the button a moment after the key.
    QTest::keyClick(&window, Qt::Key_T, Qt::AltModifier);
    QTRY_VERIFY(window.engine().txDown());
    fixture.scheduler.runUntilIdle(60'000);
    QTRY_COMPARE(statusText(fixture), afterAltT.arg(sounds));
    shoot(window, qPrintable("alt-t-" + directory));
    QCOMPARE(fixture.errors, QStringList());
}

QTEST_MAIN(tst_keyerreports)
#include "tst_keyerreports.moc"
