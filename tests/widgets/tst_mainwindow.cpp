#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <stdexcept>
#include <string>

#include "ui/ptt/LedGlyphs.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::LedGlyphs;
using pelkora::ProfileWriteError;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;

namespace {

QStringList numbered(const QString& prefix, int count) {
    QStringList names;
    for (int n = 1; n <= count; ++n) {
        names.append(prefix.arg(n));
    }
    return names;
}

QStringList startUpKeys() {
    return QStringList{"Config/ExternalIni", "Config/ExternalIniSection",
                       "Config/PTTPort",     "Config/PTTLine",
                       "Paths/SoundDir",     "PTT/LeadMs",
                       "PTT/TailMs",         "PTT/TimeoutSeconds"} +
           numbered("Macroses/Macro%1", 12) + numbered("Buttons/Caption%1", 12) +
           QStringList{"General/ButtonRows"};
}

QStringList queueOf(TPelkoranForm& window) {
    QStringList entries;
    for (const std::string& entry : window.engine().PlayQueue()) {
        entries.append(QString::fromStdString(entry));
    }
    return entries;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The item "1" .. "4" of the "Button lines" menu, found by its text.
QAction* rowsItem(MainWindowFixture& fixture, int rows) {
    for (QAction* item : fixture.find<QMenu>("Buttonlines1")->actions()) {
        if (item->text() == QString::number(rows)) {
            return item;
        }
    }
    throw std::runtime_error("no Button lines item " + std::to_string(rows));
}

}  // namespace

class tst_mainwindow : public QObject {
    Q_OBJECT

  private slots:
    void startUpReadsInOrderAndWritesNothing();
    void emptyStoreGivesTheDefaults();
    void storedSettingsReachTheWidgets();
    void buttonLinesItemsCarryTheirNames();
    void buttonLinesItemPicksTheRows();
    void buttonLayout_data();
    void buttonLayout();
    void macroKeys_data();
    void macroKeys();
    void callBoxUpperCasesAndSpells();
    void mainWindowKeepsTheKeyboardAtStartUp();
    void altTTogglesTheTransmitter();
    void beaconEnds_data();
    void beaconEnds();
    void escapeReleasesTheTransmitter();
    void pttMenuStoresAndOpensThePort();
    void cancelledCloseLeavesEverything();
    void confirmedCloseWritesInOrder();
    void refusedWriteAtCloseIsShownAndClosingGoesOn();
    void volumeRegulators_data();
    void volumeRegulators();
    void saveMacrosWritesInOrder();
};

void tst_mainwindow::startUpReadsInOrderAndWritesNothing() {
    MainWindowFixture fixture;
    fixture.build();
    QCOMPARE(fixture.profiles.reads, startUpKeys());
    fixture.profiles.forget();

    fixture.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&fixture.window()));
    QCoreApplication::processEvents();
    // Showing restores the placement first, then asks about the tool window;
    // nothing read at creation is read again.
    const QStringList& shown = fixture.profiles.reads;
    const qsizetype regulators = shown.indexOf("Menus/ShowVolumeRegulators");
    QVERIFY2(regulators > 0, qPrintable(shown.join(' ')));
    for (qsizetype i = 0; i < regulators; ++i) {
        QVERIFY2(shown[i].startsWith("TPelkoranForm/"), qPrintable(shown[i]));
    }
    for (const QString& key : startUpKeys()) {
        QVERIFY2(!shown.contains(key), qPrintable(key));
    }
    QCOMPARE(fixture.profiles.writes, QStringList());
    QCOMPARE(fixture.errors, QStringList());
}

void tst_mainwindow::emptyStoreGivesTheDefaults() {
    MainWindowFixture fixture;
    TPelkoranForm& window = fixture.build();

    auto* ptt = fixture.find<QMenu>("PTTinterface1");
    QCOMPARE(ptt->title(), QString("NONE"));
    QVERIFY(fixture.find<QAction>("PTT0")->isChecked());
    QVERIFY(fixture.find<QAction>("PTTS1")->isChecked());
    QCOMPARE(fixture.serialLines.calls().size(), std::size_t{0});

    const QStringList files{"2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c"};
    QCOMPARE(qs(window.macro(1)), QString("~[iCall]"));
    for (int key = 2; key <= 12; ++key) {
        QCOMPARE(qs(window.macro(key)), QString("~[f%1.wav]").arg(files[key - 2]));
        QCOMPARE(fixture.find<QPushButton>(qPrintable(QString("F%1").arg(key)))->text(), QString());
    }
    QCOMPARE(window.buttonRows(), 1);
    QVERIFY(rowsItem(fixture, 1)->isChecked());
    QCOMPARE(window.soundDir(), fixture.startDir() + "sound/");
    QCOMPARE(window.windowTitle(), QString("Pelkora"));
    QVERIFY(!fixture.find<QPushButton>("StopButton")->isEnabled());
    QVERIFY(!fixture.find<QPushButton>("sbTX")->isChecked());
    QCOMPARE(fixture.find<QLineEdit>("eRS")->text(), QString("59"));
    QVERIFY(!fixture.find<QAction>("Alwaysontop1")->isChecked());
}

void tst_mainwindow::storedSettingsReachTheWidgets() {
    MainWindowFixture fixture;
    fixture.seed("Buttons", "Caption1", "CQ");
    fixture.seed("Buttons", "Caption12", "73");
    fixture.seed("Macroses", "Macro2", "");  // stays empty, not the default
    fixture.seed("General", "ButtonRows", "3");
    fixture.seed("Config", "PTTPort", "2");
    fixture.seed("Config", "PTTLine", "3");
    fixture.seed("Paths", "SoundDir", "/srv/voice/");
    TPelkoranForm& window = fixture.build();

    QCOMPARE(fixture.find<QPushButton>("F1")->text(), QString("CQ"));
    QCOMPARE(fixture.find<QPushButton>("F12")->text(), QString("73"));
    QCOMPARE(fixture.find<QPushButton>("F2")->text(), QString());
    QCOMPARE(qs(window.macro(2)), QString());
    QCOMPARE(window.buttonRows(), 3);
    QVERIFY(rowsItem(fixture, 3)->isChecked());
    QVERIFY(!rowsItem(fixture, 1)->isChecked());
    QVERIFY(fixture.find<QAction>("PTT2")->isChecked());
    QVERIFY(fixture.find<QAction>("PTTS3")->isChecked());
    QCOMPARE(fixture.find<QMenu>("PTTinterface1")->title(),
             QString("PTT on COM2/Use RTS and DTR for PTT"));
    QCOMPARE(fixture.serialLines.openPort(), std::string("COM2"));
    QCOMPARE(window.soundDir(), std::string("/srv/voice/"));
    QCOMPARE(fixture.profiles.writes, QStringList());
}

void tst_mainwindow::buttonLinesItemsCarryTheirNames() {
    MainWindowFixture fixture;
    fixture.build();
    for (int rows = 1; rows <= 4; ++rows) {
        QCOMPARE(rowsItem(fixture, rows)->objectName(), QString("N%1").arg(rows) + "1");
    }
}

void tst_mainwindow::buttonLinesItemPicksTheRows() {
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    rowsItem(fixture, 4)->trigger();
    QCOMPARE(fixture.window().buttonRows(), 4);
    QCOMPARE(fixture.profiles.writes, QStringList{"General/ButtonRows=4"});
    QCOMPARE(fixture.find<QWidget>("Panel1")->height(), 98);
}

void tst_mainwindow::buttonLayout_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("barHeight");
    QTest::addColumn<int>("buttonWidth");
    QTest::addColumn<QRect>("f12");
    QTest::addColumn<int>("f10Top");
    // A bar 544 wide: (544 - 6) / buttons per row, rows 23 apart from top 3.
    QTest::newRow("1 row") << 1 << 29 << 44 << QRect(487, 3, 44, 23) << 3;
    QTest::newRow("2 rows") << 2 << 52 << 89 << QRect(448, 26, 89, 23) << 26;
    QTest::newRow("3 rows") << 3 << 75 << 134 << QRect(405, 49, 134, 23) << 49;
    QTest::newRow("4 rows") << 4 << 98 << 179 << QRect(361, 72, 179, 23) << 72;
}

void tst_mainwindow::buttonLayout() {
    QFETCH(int, rows);
    QFETCH(int, barHeight);
    QFETCH(int, buttonWidth);
    QFETCH(QRect, f12);
    QFETCH(int, f10Top);
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    auto* bar = fixture.find<QWidget>("Panel1");
    QCOMPARE(bar->width(), 544);
    fixture.profiles.forget();

    fixture.window().ChangeLines(rows);
    QCOMPARE(fixture.profiles.writes, QStringList{QString("General/ButtonRows=%1").arg(rows)});
    QCOMPARE(fixture.window().buttonRows(), rows);
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(rowsItem(fixture, n)->isChecked(), n == rows);
    }
    QCOMPARE(bar->height(), barHeight);
    QCOMPARE(fixture.find<QPushButton>("F1")->geometry(), QRect(3, 3, buttonWidth, 23));
    QCOMPARE(fixture.find<QPushButton>("F12")->geometry(), f12);
    QCOMPARE(fixture.find<QPushButton>("F10")->y(), f10Top);
}

void tst_mainwindow::macroKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("byButton");
    QTest::addColumn<QString>("file");
    QTest::newRow("F2 key") << 2 << false << "2.wav";
    QTest::newRow("F2 button") << 2 << true << "2.wav";
    QTest::newRow("F10 key") << 10 << false << "a.wav";
    QTest::newRow("F12 key") << 12 << false << "c.wav";
    QTest::newRow("F12 button") << 12 << true << "c.wav";
}

void tst_mainwindow::macroKeys() {
    QFETCH(int, key);
    QFETCH(bool, byButton);
    QFETCH(QString, file);
    MainWindowFixture fixture;
    fixture.addSound(file.toStdString(), 300);
    QVERIFY(fixture.buildShown());
    TPelkoranForm& window = fixture.window();

    if (byButton) {
        QTest::mouseClick(fixture.find<QPushButton>(qPrintable(QString("F%1").arg(key))),
                          Qt::LeftButton);
    } else {
        QTest::keyClick(&window, Qt::Key(Qt::Key_F1 + key - 1));
    }
    const QString path = qs(fixture.soundFile(file.toStdString()));
    // The transmitter is up: the macro waits in the queue.
    QCOMPARE(queueOf(window), QStringList{path});
    QCOMPARE(fixture.played(), QStringList());

    QTest::mouseClick(fixture.find<QPushButton>("sbTX"), Qt::LeftButton);
    fixture.scheduler.advanceBy(1000);
    QCOMPARE(fixture.played(), QStringList{"play " + path});
    QCOMPARE(queueOf(window), QStringList());
}

void tst_mainwindow::callBoxUpperCasesAndSpells() {
    MainWindowFixture fixture;
    fixture.seed("Macroses", "Macro3", "~[ec]~[er]");
    QVERIFY(fixture.buildShown());
    auto* call = fixture.find<QLineEdit>("eCall");
    auto* report = fixture.find<QLineEdit>("eRS");
    QTest::keyClicks(call, "dl1abc");
    QCOMPARE(call->text(), QString("DL1ABC"));
    report->setText("57");

    QTest::keyClick(&fixture.window(), Qt::Key_F3);
    QStringList spelled;
    for (const char* name : {"D", "L", "1", "A", "B", "C", "5", "7"}) {
        spelled.append(qs(fixture.soundFile(std::string(name) + ".wav")));
    }
    QCOMPARE(queueOf(fixture.window()), spelled);
    QCOMPARE(fixture.find<QPlainTextEdit>("SpeechMemo")->toPlainText(), QString("DL1ABC 57 "));
}

void tst_mainwindow::mainWindowKeepsTheKeyboardAtStartUp() {
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    QVERIFY(fixture.find<QWidget>("VolForm")->isVisible());
    fixture.find<QPushButton>("sbTX")->click();
    QVERIFY(fixture.window().engine().txDown());

    // The operator presses Esc in whichever window has the keyboard.
    // The tool window is shown beside it and must not have taken the keys.
    QTest::keyClick(QApplication::activeWindow(), Qt::Key_Escape);
    QVERIFY(!fixture.find<QPushButton>("sbTX")->isChecked());
}

void tst_mainwindow::altTTogglesTheTransmitter() {
    MainWindowFixture fixture;
    fixture.seed("Config", "PTTPort", "1");
    QVERIFY(fixture.buildShown());
    QVERIFY(fixture.activateMainWindow());
    auto* tx = fixture.find<QPushButton>("sbTX");
    QCOMPARE(tx->icon().cacheKey(), LedGlyphs::dark().cacheKey());

    // The "&TX" mnemonic takes the key and clicks the button as a mouse
    // click would, a moment later.
    QTest::keyClick(&fixture.window(), Qt::Key_T, Qt::AltModifier);
    QTRY_VERIFY(tx->isChecked());
    QVERIFY(fixture.window().engine().txDown());
    QCOMPARE(fixture.bus.codes(), (std::vector<int>{111}));
    QCOMPARE(tx->icon().cacheKey(), LedGlyphs::lit().cacheKey());
    QVERIFY(fixture.serialLines.rts());

    QTest::keyClick(&fixture.window(), Qt::Key_T, Qt::AltModifier);
    QTRY_VERIFY(!tx->isChecked());
    QVERIFY(!fixture.window().engine().txDown());
    QCOMPARE(fixture.bus.codes(), (std::vector<int>{111, 100, 110}));
    QCOMPARE(tx->icon().cacheKey(), LedGlyphs::dark().cacheKey());
    QVERIFY(!fixture.serialLines.rts());
}

void tst_mainwindow::beaconEnds_data() {
    QTest::addColumn<QString>("macro");
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc") << "~[tx]~[f2.wav]~[rp5000:0]"
                         << "esc";
    QTest::newRow("Stop button") << "~[tx]~[f2.wav]~[rp5000:0]"
                                 << "stop";
    QTest::newRow("count runs out") << "~[tx]~[f2.wav]~[rp1000:2]"
                                    << "run";
}

void tst_mainwindow::beaconEnds() {
    QFETCH(QString, macro);
    QFETCH(QString, how);
    MainWindowFixture fixture;
    fixture.addSound("2.wav", 500);
    fixture.seed("Macroses", "Macro4", macro.toStdString());
    QVERIFY(fixture.buildShown());
    QVERIFY(fixture.activateMainWindow());
    TPelkoranForm& window = fixture.window();
    auto* stop = fixture.find<QPushButton>("StopButton");
    QVERIFY(!stop->isEnabled());

    QTest::keyClick(&window, Qt::Key_F4);
    QVERIFY(stop->isEnabled());
    QCOMPARE(window.windowTitle(), QString("Pelkora: Beacon mode"));
    fixture.scheduler.advanceBy(200);  // inside the first repetition

    if (how == "esc") {
        QTest::keyClick(&window, Qt::Key_Escape);
    } else if (how == "stop") {
        QTest::mouseClick(stop, Qt::LeftButton);
    } else {
        fixture.scheduler.runUntilIdle(60'000);
        QCOMPARE(fixture.played().size(), 2);
    }
    QVERIFY(!stop->isEnabled());
    QCOMPARE(window.windowTitle(), QString("Pelkora"));
    QVERIFY(!fixture.find<QPushButton>("sbTX")->isChecked());
    QCOMPARE(queueOf(window), QStringList());
}

void tst_mainwindow::escapeReleasesTheTransmitter() {
    MainWindowFixture fixture;
    fixture.addSound("2.wav", 1000);
    QVERIFY(fixture.buildShown());
    QVERIFY(fixture.activateMainWindow());
    TPelkoranForm& window = fixture.window();
    auto* memo = fixture.find<QPlainTextEdit>("SpeechMemo");
    const QString path = qs(fixture.soundFile("2.wav"));

    // Transmitter up, no beacon: Esc leaves the waiting macro alone.
    QTest::keyClick(&window, Qt::Key_F2);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(queueOf(window), QStringList{path});
    QCOMPARE(memo->toPlainText(), QString("\"2.wav\" "));
    QVERIFY(fixture.bus.codes().empty());

    QTest::keyClick(&window, Qt::Key_T, Qt::AltModifier);
    QTRY_VERIFY(window.engine().txDown());
    QTest::keyClick(&window, Qt::Key_F2);
    fixture.scheduler.advanceBy(100);  // first file sounding, second queued
    QCOMPARE(queueOf(window), QStringList{path});
    QVERIFY(!memo->toPlainText().isEmpty());

    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!fixture.find<QPushButton>("sbTX")->isChecked());
    QCOMPARE(fixture.bus.codes().back(), 110);
    QCOMPARE(queueOf(window), QStringList());
    QCOMPARE(memo->toPlainText(), QString());
    QCOMPARE(fixture.sound.cut(), std::vector<std::string>{path.toStdString()});
    fixture.scheduler.runUntilIdle(60'000);
    QCOMPARE(fixture.played().size(), 1);
}

void tst_mainwindow::pttMenuStoresAndOpensThePort() {
    MainWindowFixture fixture;
    fixture.build();
    auto* menu = fixture.find<QMenu>("PTTinterface1");

    fixture.find<QAction>("PTT2")->trigger();
    fixture.find<QAction>("PTTS2")->trigger();
    QCOMPARE(fixture.profiles.writes, (QStringList{"Config/PTTPort=2", "Config/PTTLine=1",
                                                   "Config/PTTPort=2", "Config/PTTLine=2"}));
    QCOMPARE(menu->title(), QString("PTT on COM2/Use DTR for PTT"));
    QCOMPARE(fixture.serialLines.openPort(), std::string("COM2"));
    const auto& calls = fixture.serialLines.calls();
    QCOMPARE(std::count(calls.begin(), calls.end(), "open COM2"), 2);
    for (const char* item : {"PTT0", "PTT1", "PTT3", "COM81", "PTTS1", "PTTS3"}) {
        QVERIFY2(!fixture.find<QAction>(item)->isChecked(), item);
    }
    QVERIFY(fixture.find<QAction>("PTT2")->isChecked());
    QVERIFY(fixture.find<QAction>("PTTS2")->isChecked());

    fixture.find<QAction>("PTT0")->trigger();
    QVERIFY(!fixture.serialLines.isOpen());
    QCOMPARE(menu->title(), QString("NONE"));
}

void tst_mainwindow::cancelledCloseLeavesEverything() {
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    fixture.closeAnswer = false;
    fixture.profiles.forget();

    QVERIFY(!fixture.window().close());
    QCOMPARE(fixture.closeQuestions, 1);
    QVERIFY(fixture.window().isVisible());
    QCOMPARE(fixture.profiles.writes, QStringList());
}

void tst_mainwindow::confirmedCloseWritesInOrder() {
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    TPelkoranForm& window = fixture.window();
    const QRect client = window.geometry();
    const int dpi = qRound(window.screen()->logicalDotsPerInch());
    fixture.profiles.forget();

    QVERIFY(window.close());
    QCOMPARE(fixture.closeQuestions, 1);
    const QStringList expected{"TPelkoranForm/FormVersion=0",
                               "TPelkoranForm/Flags=0",
                               "TPelkoranForm/ShowCmd=1",
                               QString("TPelkoranForm/PixelsPerInch=%1").arg(dpi),
                               "TPelkoranForm/MinMaxPos=-1,-1,-1,-1",
                               QString("TPelkoranForm/NormPos=%1,%2,%3,%4")
                                   .arg(client.left())
                                   .arg(client.top())
                                   .arg(client.left() + client.width())
                                   .arg(client.top() + client.height()),
                               "TPelkoranForm/Visible=0",
                               qs("Paths/SoundDir=" + fixture.startDir() + "sound/"),
                               "Menus/ShowVolumeRegulators=1"};
    QCOMPARE(fixture.profiles.writes, expected);
    QCOMPARE(fixture.errors, QStringList());

    // The tool window, still open, keeps its own placement as it goes.
    fixture.destroyWindow();
    const QStringList atDestruction = fixture.profiles.writes.mid(expected.size());
    QCOMPARE(atDestruction.size(), 7);
    QCOMPARE(atDestruction.first(), QString("TVolForm/FormVersion=0"));
    QCOMPARE(atDestruction.last(), QString("TVolForm/Visible=1"));
}

void tst_mainwindow::refusedWriteAtCloseIsShownAndClosingGoesOn() {
    MainWindowFixture fixture;
    QVERIFY(fixture.buildShown());
    fixture.profiles.refuseWrites(fixture.settingsFile());

    QVERIFY(fixture.window().close());
    QVERIFY(!fixture.window().isVisible());
    QVERIFY(!fixture.errors.isEmpty());
    for (const QString& error : fixture.errors) {
        QCOMPARE(error, qs("Unable to write to " + fixture.settingsFile()));
    }
    QCOMPARE(fixture.profiles.writes, QStringList());
}

void tst_mainwindow::volumeRegulators_data() {
    QTest::addColumn<QString>("stored");  // empty: no key
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("written");
    QTest::newRow("missing") << "" << true << "1";
    QTest::newRow("1") << "1" << true << "1";
    QTest::newRow("2") << "2" << false << "0";
    QTest::newRow("0") << "0" << false << "0";
}

void tst_mainwindow::volumeRegulators() {
    QFETCH(QString, stored);
    QFETCH(bool, shown);
    QFETCH(QString, written);
    MainWindowFixture fixture;
    if (!stored.isEmpty()) {
        fixture.seed("Menus", "ShowVolumeRegulators", stored.toStdString());
    }
    QVERIFY(fixture.buildShown());
    auto* tool = fixture.find<QWidget>("VolForm");
    QVERIFY(tool);
    if (shown) {
        QVERIFY(QTest::qWaitForWindowExposed(tool));
    }
    QCOMPARE(tool->isVisible(), shown);
    QCOMPARE(fixture.find<QAction>("ShowVolumeRegulators1")->isChecked(), shown);

    QVERIFY(fixture.window().close());
    QCOMPARE(fixture.profiles.writes.last(), "Menus/ShowVolumeRegulators=" + written);
}

void tst_mainwindow::saveMacrosWritesInOrder() {
    MainWindowFixture fixture;
    TPelkoranForm& window = fixture.build();
    window.setMacro(5, "~[tx]~[fcq.wav]~[rx]");
    window.setButtonCaption(5, "CQ");

    const int passes = fixture.profiles.writePasses();
    window.SaveMacros();
    QCOMPARE(fixture.profiles.writePasses(), passes + 1);  // one rewrite of the file, not 25
    QStringList expected{qs("Paths/SoundDir=" + fixture.startDir() + "sound/")};
    for (int key = 1; key <= 12; ++key) {
        expected.append(QString("Macroses/Macro%1=%2").arg(key).arg(qs(window.macro(key))));
    }
    for (int key = 1; key <= 12; ++key) {
        expected.append(QString("Buttons/Caption%1=%2").arg(key).arg(key == 5 ? "CQ" : ""));
    }
    QCOMPARE(fixture.profiles.writes, expected);
    QVERIFY(expected.contains("Macroses/Macro5=~[tx]~[fcq.wav]~[rx]"));

    fixture.profiles.forget();
    fixture.profiles.refuseWrites(fixture.settingsFile());
    QVERIFY_THROWS_EXCEPTION(ProfileWriteError, window.SaveMacros());
    QCOMPARE(fixture.profiles.writes, QStringList());
}

QTEST_MAIN(tst_mainwindow)
#include "tst_mainwindow.moc"
