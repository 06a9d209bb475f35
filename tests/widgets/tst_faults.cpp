#include <QPushButton>
#include <QtTest>
#include <new>
#include <stdexcept>
#include <string>

#include "ui/app/QtScheduler.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::QtScheduler;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;

namespace {

// The window on COM1, keyed, its F2 message sounding.
TPelkoranForm& keyedAndPlaying(MainWindowFixture& fixture) {
    fixture.seed("Config", "PTTPort", "1");
    fixture.addSound("2.wav", 5000);
    TPelkoranForm& window = fixture.build();
    window.engine().setTxButton(true);
    window.AddSoundClick(2);
    fixture.scheduler.advanceBy(100);
    if (!fixture.serialLines.rts() || !fixture.sound.isPlaying()) {
        throw std::runtime_error("the fixture did not key and play");
    }
    return window;
}

}  // namespace

// What the desktop program does when sound cannot go on air or a fault
// reaches its loop: the transmitter is released and the operator told once.
class tst_faults : public QObject {
    Q_OBJECT

  private slots:
    void exceptionInATaskIsReportedAndTheLoopGoesOn();
    void faultReleasesTheTransmitter();
    void lostSoundServerReleasesTheTransmitterAndSaysWhy();
};

void tst_faults::exceptionInATaskIsReportedAndTheLoopGoesOn() {
    QtScheduler scheduler;
    QStringList failures;
    scheduler.onTaskFailed = [&](const std::string& what) {
        failures.append(QString::fromStdString(what));
    };
    bool laterTaskRan = false;
    scheduler.callAfter(0, [] { throw std::bad_alloc(); });
    scheduler.post([] { throw std::runtime_error("broken"); });
    scheduler.callAfter(1, [&] { laterTaskRan = true; });
    QTRY_VERIFY(laterTaskRan);
    QCOMPARE(failures.size(), 2);
    QVERIFY(failures.contains("broken"));
}

void tst_faults::faultReleasesTheTransmitter() {
    MainWindowFixture fixture;
    TPelkoranForm& window = keyedAndPlaying(fixture);

    window.reportFault("out of memory");
    QVERIFY(!fixture.serialLines.rts());
    QVERIFY(!window.engine().txDown());
    QVERIFY(!fixture.find<QPushButton>("sbTX")->isChecked());
    QVERIFY(!fixture.sound.isPlaying());
    QCOMPARE(fixture.errors.size(), 1);
    QVERIFY(fixture.errors.front().contains("out of memory"));
}

void tst_faults::lostSoundServerReleasesTheTransmitterAndSaysWhy() {
    MainWindowFixture fixture;
    TPelkoranForm& window = keyedAndPlaying(fixture);

    window.engine().onSoundServerLost("Connection terminated");
    QVERIFY(!fixture.serialLines.rts());
    // The box opens from the loop, after the engine call has returned.
    QTRY_COMPARE(fixture.errors, QStringList{"Sound server not available: Connection terminated"});
    fixture.scheduler.runUntilIdle(600'000);
    QCoreApplication::processEvents();
    QCOMPARE(fixture.errors.size(), 1);
}

QTEST_MAIN(tst_faults)
#include "tst_faults.moc"
