#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <stdexcept>

#include "ui/app/TerminationSignals.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::TerminationSignals;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;

namespace {

volatile std::sig_atomic_t markerCalls = 0;
extern "C" void marker(int) {
    markerCalls = markerCalls + 1;
}

// The write end of a pipe the child's release marks, as the handler calls it.
int releaseMarkFd = -1;
void markRelease() noexcept {
    const char mark = 'R';
    [[maybe_unused]] const ssize_t written = ::write(releaseMarkFd, &mark, 1);
}

sighandler_t handlerOf(int signalNumber) {
    struct sigaction now {};
    ::sigaction(signalNumber, nullptr, &now);
    return now.sa_handler;
}

struct ChildEnd {
    int status = -1;        // the exit status; -1 when a signal ended it (or the watchdog)
    bool released = false;  // whether the release ran
};

// Runs body in a child process, where releaseMarkFd is open.
template <class Body>
ChildEnd endOfChild(Body body) {
    int marks[2];
    if (::pipe(marks) != 0) {
        throw std::runtime_error("no pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(marks[0]);
        releaseMarkFd = marks[1];
        ::alarm(10);
        body();
        ::_exit(99);
    }
    ::close(marks[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    char mark = 0;
    ChildEnd end;
    end.released = ::read(marks[0], &mark, 1) == 1 && mark == 'R';
    ::close(marks[0]);
    end.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return end;
}

}  // namespace

// The desktop program's end on a termination signal: the signal reaches the
// loop, not the handler's caller; a second one ends the process at once; the
// window's close then runs without a question and releases everything.
class tst_termination : public QObject {
    Q_OBJECT

  private slots:
    void firstSignalIsHandedToTheLoop_data();
    void firstSignalIsHandedToTheLoop();
    void ignoredSignalStaysIgnored();
    void processEnds_data();
    void processEnds();
    void unaskedCloseReleasesAndWritesWithoutQuestions();
};

void tst_termination::firstSignalIsHandedToTheLoop_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void tst_termination::firstSignalIsHandedToTheLoop() {
    QFETCH(int, signalNumber);
    std::signal(signalNumber, marker);
    markerCalls = 0;
    {
        TerminationSignals termination;
        QVERIFY(termination.installed());
        int received = 0;
        int calls = 0;
        termination.onSignal = [&](int number) {
            received = number;
            ++calls;
        };
        ::raise(signalNumber);
        // Nothing ran inside the handler: the window is closed from the loop.
        QCOMPARE(calls, 0);
        QTRY_COMPARE(received, signalNumber);
        QCOMPARE(markerCalls, 0);
        QCOMPARE(calls, 1);
    }
    // The handler the program had before is back.
    QVERIFY(handlerOf(signalNumber) == static_cast<sighandler_t>(marker));
    ::raise(signalNumber);
    QCOMPARE(markerCalls, 1);
    std::signal(signalNumber, SIG_DFL);
}

void tst_termination::ignoredSignalStaysIgnored() {
    std::signal(SIGHUP, SIG_IGN);
    {
        TerminationSignals termination;
        int calls = 0;
        termination.onSignal = [&](int) { ++calls; };
        QVERIFY(handlerOf(SIGHUP) == SIG_IGN);
        ::raise(SIGHUP);
        QTest::qWait(100);
        QCOMPARE(calls, 0);
        // The others are still caught.
        ::raise(SIGTERM);
        QTRY_COMPARE(calls, 1);
    }
    QVERIFY(handlerOf(SIGHUP) == SIG_IGN);
    QVERIFY(handlerOf(SIGTERM) == SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

void tst_termination::processEnds_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");  // 0: none
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("released");  // by the handler, before the end
    // Without a handler of its own the loop ends with the signal's status;
    // the release is the close's work then, not the handler's.
    QTest::newRow("TERM, loop ends") << SIGTERM << 0 << 143 << false;
    QTest::newRow("HUP, loop ends") << SIGHUP << 0 << 129 << false;
    // A second signal while the first is still waiting for the loop.
    QTest::newRow("TERM then INT") << SIGTERM << SIGINT << 130 << true;
    QTest::newRow("INT then TERM") << SIGINT << SIGTERM << 143 << true;
    QTest::newRow("TERM twice") << SIGTERM << SIGTERM << 143 << true;
    QTest::newRow("HUP then TERM") << SIGHUP << SIGTERM << 143 << true;
}

void tst_termination::processEnds() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, status);
    QFETCH(bool, released);
    const ChildEnd end = endOfChild([&] {
        TerminationSignals termination(markRelease);
        ::raise(first);
        if (second != 0) {
            ::raise(second);
            // Not reached when the second signal ends the process.
            ::_exit(98);
        }
        ::_exit(QCoreApplication::exec());
    });
    QCOMPARE(end.status, status);
    QCOMPARE(end.released, released);
}

void tst_termination::unaskedCloseReleasesAndWritesWithoutQuestions() {
    MainWindowFixture fixture;
    fixture.seed("Config", "PTTPort", "1");
    fixture.addSound("2.wav", 5000);
    fixture.closeAnswer = false;
    QVERIFY(fixture.buildShown());
    TPelkoranForm& window = fixture.window();
    int objectQuestions = 0;
    window.setCloseWarning([] { return true; },
                           [&] {
                               ++objectQuestions;
                               return false;
                           });
    window.engine().setTxButton(true);
    window.AddSoundClick(2);
    fixture.scheduler.advanceBy(100);
    QVERIFY(fixture.serialLines.rts());
    QVERIFY(fixture.sound.isPlaying());
    fixture.bus.clear();
    fixture.profiles.forget();

    window.closeUnasked();
    QCOMPARE(fixture.closeQuestions, 0);
    QCOMPARE(objectQuestions, 0);
    QVERIFY(!window.isVisible());
    QVERIFY(!fixture.serialLines.rts());
    QVERIFY(!fixture.sound.isPlaying());
    // Clients hear the release.
    QVERIFY(std::find(fixture.bus.codes().begin(), fixture.bus.codes().end(), 110) !=
            fixture.bus.codes().end());
    QVERIFY(fixture.profiles.writes.contains(
        QString::fromStdString("Paths/SoundDir=" + window.soundDir())));
    // A later close (the program's end) does not ask either.
    QVERIFY(window.close());
    QCOMPARE(fixture.closeQuestions, 0);
}

QTEST_MAIN(tst_termination)
#include "tst_termination.moc"
