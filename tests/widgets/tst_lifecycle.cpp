#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <stdexcept>
#include <string>

#include "ui/keyer/MacroButtonBar.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::DesktopServices;
using pelkora::FileDiagnosticLog;
using pelkora::MacroButtonBar;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QAction* rowsItem(MainWindowFixture& fixture, int rows) {
    for (QAction* item : fixture.find<QMenu>("Buttonlines1")->actions()) {
        if (item->text() == QString::number(rows)) {
            return item;
        }
    }
    throw std::runtime_error("no Button lines item " + std::to_string(rows));
}

// The program's own end: File > Exit from its event loop, which then ends
// as the last window goes, closing whatever else is still open on the way.
// False when the loop did not end by itself.
bool exitThroughTheLoop(MainWindowFixture& fixture) {
    bool endedByItself = true;
    QTimer::singleShot(0, &fixture.window(), [&] { fixture.find<QAction>("Exit1")->trigger(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [&] {
        endedByItself = false;
        QApplication::quit();
    });
    watchdog.start(10000);
    QApplication::exec();
    return endedByItself;
}

QStringList writesOf(const QStringList& writes, const QString& section) {
    QStringList found;
    for (const QString& write : writes) {
        if (write.startsWith(section + "/")) {
            found.append(write);
        }
    }
    return found;
}

// Rows and columns of the picture that hold ink, as a rectangle.
QRect inkOf(const QImage& picture) {
    QRect ink;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(picture.pixel(x, y)) > 64) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

}  // namespace

// The keyer's life as a desktop program: its first start, its end, the tool
// window beside it, refused settings writes, and the macro buttons' pictures.
class tst_lifecycle : public QObject {
    Q_OBJECT

  private slots:
    void debugLogOnFirstStart_data();
    void debugLogOnFirstStart();
    void refusedButtonLinesWriteLeavesTheLayout();
    void refusedWritesAtExitShowOneMessageAndClose();
    void toolWindowStateAtTheEnd_data();
    void toolWindowStateAtTheEnd();
    void toolWindowFirstPlacedFromCreationOffsets_data();
    void toolWindowFirstPlacedFromCreationOffsets();
    void keyPicturesShareOneHeight();
};

void tst_lifecycle::debugLogOnFirstStart_data() {
    QTest::addColumn<QString>("below");  // the start directory below the test's own
    QTest::addColumn<bool>("written");
    QTest::newRow("directory not there yet") << "config/pelkora/" << true;
    QTest::newRow("a file stands in the way") << "blocker/pelkora/" << false;
}

void tst_lifecycle::debugLogOnFirstStart() {
    QFETCH(QString, below);
    QFETCH(bool, written);
    MainWindowFixture fixture;
    const std::string startDir = fixture.startDir() + below.toStdString();
    QFile blocker(qs(fixture.startDir() + "blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FileDiagnosticLog log(true);
    DesktopServices services{
        fixture.scheduler, fixture.sound, fixture.wavProbe, fixture.pttDevices, fixture.profiles,
        fixture.bus,       log,           startDir,         "/usr/bin/pelkora", nullptr,
        nullptr,           nullptr};
    QStringList errors;
    services.showError = [&](const QString& message) { errors.append(message); };
    services.showInformation = [](const QString&) {};  // the microphone lookup's box
    {
        TPelkoranForm window(services);
        QCOMPARE(log.isWriting(), written);
    }
    const QStringList logs = QDir(qs(startDir)).entryList({"pelkora*.log"}, QDir::Files);
    QCOMPARE(logs.size(), written ? 1 : 0);
    if (written) {
        QCOMPARE(errors, QStringList());
    } else {
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.front().contains(qs(startDir + "pelkora")), qPrintable(errors.front()));
        QVERIFY2(errors.front().contains("Not a directory"), qPrintable(errors.front()));
    }
    // The log is not the settings file: nothing reaches pelkora.ini at start-up.
    QCOMPARE(fixture.profiles.writes, QStringList());
}

void tst_lifecycle::refusedButtonLinesWriteLeavesTheLayout() {
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    auto* bar = fixture.find<MacroButtonBar>("Panel1");
    const QRect f12Before = bar->button(12)->geometry();
    fixture.profiles.refuseWrites(fixture.settingsFile());

    rowsItem(fixture, 3)->trigger();
    QCOMPARE(fixture.errors, QStringList{qs("Unable to write to " + fixture.settingsFile())});
    QCOMPARE(bar->rows(), 1);
    QCOMPARE(bar->height(), 29);
    QCOMPARE(bar->button(12)->geometry(), f12Before);
}

void tst_lifecycle::refusedWritesAtExitShowOneMessageAndClose() {
    MainWindowFixture fixture;
    fixture.seed("Config", "PTTPort", "1");
    QVERIFY(fixture.buildShown());
    QVERIFY(fixture.find<QWidget>("VolForm")->isVisible());
    fixture.window().engine().setTxButton(true);
    QVERIFY(fixture.serialLines.rts());
    fixture.profiles.refuseWrites(fixture.settingsFile());

    QVERIFY(exitThroughTheLoop(fixture));
    QVERIFY(!fixture.window().isVisible());
    fixture.destroyWindow();
    QCOMPARE(fixture.errors, QStringList{qs("Unable to write to " + fixture.settingsFile())});
    QVERIFY(!fixture.serialLines.rts());
    QVERIFY(!fixture.serialLines.isOpen());
}

void tst_lifecycle::toolWindowStateAtTheEnd_data() {
    QTest::addColumn<bool>("closedByUserFirst");
    QTest::addColumn<QStringList>("toolVisibleWritten");
    QTest::addColumn<QString>("menuWritten");
    QTest::newRow("open at the end") << false << QStringList{"TVolForm/Visible=1"} << "1";
    QTest::newRow("closed by the user") << true << QStringList{"TVolForm/Visible=0"} << "0";
}

void tst_lifecycle::toolWindowStateAtTheEnd() {
    QFETCH(bool, closedByUserFirst);
    QFETCH(QStringList, toolVisibleWritten);
    QFETCH(QString, menuWritten);
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    auto* tool = fixture.find<QWidget>("VolForm");
    QVERIFY(tool->isVisible());
    if (closedByUserFirst) {
        QVERIFY(tool->close());
    }

    QVERIFY(exitThroughTheLoop(fixture));
    fixture.destroyWindow();
    QStringList visible;
    for (const QString& write : writesOf(fixture.profiles.writes, "TVolForm")) {
        if (write.startsWith("TVolForm/Visible=")) {
            visible.append(write);
        }
    }
    QCOMPARE(visible, toolVisibleWritten);
    QVERIFY(fixture.profiles.writes.contains("Menus/ShowVolumeRegulators=" + menuWritten));
    QCOMPARE(fixture.errors, QStringList());
}

void tst_lifecycle::toolWindowFirstPlacedFromCreationOffsets_data() {
    QTest::addColumn<QString>("mainNormPos");  // empty: first start
    QTest::newRow("first start") << QString();
    QTest::newRow("stored main window") << "100,50,644,365";
}

void tst_lifecycle::toolWindowFirstPlacedFromCreationOffsets() {
    QFETCH(QString, mainNormPos);
    MainWindowFixture fixture;
    const bool firstStart = mainNormPos.isEmpty();
    if (!firstStart) {
        const int dpi = qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch());
        fixture.seed("TPelkoranForm", "PixelsPerInch", std::to_string(dpi));
        fixture.seed("TPelkoranForm", "NormPos", mainNormPos.toStdString());
    }
    QVERIFY(fixture.buildShown());
    auto* tool = fixture.find<QWidget>("VolForm");
    QTRY_VERIFY(tool->isVisible());
    TPelkoranForm& window = fixture.window();
    // Where the main window's outer corner was before any centring: at a
    // first start its design-time place.
    const QPoint mainAt = firstStart ? QPoint(454, 206) : window.pos();
    // Right of its 552 outer pixels by 5; down by its design-time top.
    QCOMPARE(tool->pos(), mainAt + QPoint(552 + 5, 206));
    if (firstStart) {
        // The main window itself is centred only after that.
        const QRect screen = window.screen()->availableGeometry();
        QCOMPARE(window.frameGeometry().center(), screen.center());
    } else {
        QCOMPARE(window.geometry().topLeft(), QPoint(100, 50));
    }
}

void tst_lifecycle::keyPicturesShareOneHeight() {
    MacroButtonBar bar;
    const auto inkOfKey = [&](int key) {
        return inkOf(bar.button(key)->icon().pixmap(QSize(15, 18)).toImage());
    };
    const QRect f1 = inkOfKey(1);
    QVERIFY(f1.height() >= 6);
    for (int key = 2; key <= 12; ++key) {
        const QRect ink = inkOfKey(key);
        const QString what = QString("F%1: ink %2x%3 at %4,%5")
                                 .arg(key)
                                 .arg(ink.width())
                                 .arg(ink.height())
                                 .arg(ink.x())
                                 .arg(ink.y());
        QVERIFY2(qAbs(ink.height() - f1.height()) <= 1, qPrintable(what));
        // Whole inside the picture: nothing cut at either side.
        QVERIFY2(ink.left() > 0 && ink.right() < 14, qPrintable(what));
    }
}

QTEST_MAIN(tst_lifecycle)
#include "tst_lifecycle.moc"
