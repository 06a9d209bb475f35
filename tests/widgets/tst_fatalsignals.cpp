#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>
#include <stdexcept>

#include "ui/app/FatalSignals.h"

using pelkora::FatalSignals;

namespace {

// The write end of a pipe the child's release marks, as the handler calls it.
int releaseMarkFd = -1;
void markRelease() noexcept {
    const char mark = 'R';
    [[maybe_unused]] const ssize_t written = ::write(releaseMarkFd, &mark, 1);
}

struct ChildEnd {
    int signal = 0;  // the signal that ended the child; 0 when it exited
    bool released = false;
};

// Runs body in a child process with the handlers installed; no core file.
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
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::alarm(10);
        FatalSignals::install(&markRelease);
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
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
}

// Deep enough to overflow any stack; the limit only keeps the compiler from
// calling the recursion endless.
volatile long recursionLimit = 1L << 40;
long descend(long depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth >= recursionLimit) {
        return frame[0];
    }
    return descend(depth + 1) + frame[0];
}

}  // namespace

// A crash of the desktop program: the release runs first, then the program
// dies of the very signal, as it would have without the handler.
class tst_fatalsignals : public QObject {
    Q_OBJECT

  private slots:
    void faultReleasesThenEndsWithItsSignal_data();
    void faultReleasesThenEndsWithItsSignal();
    void stackOverflowReleasesToo();
};

void tst_fatalsignals::faultReleasesThenEndsWithItsSignal_data() {
    QTest::addColumn<int>("signalNumber");
    for (const int signalNumber : FatalSignals::kSignals) {
        QTest::newRow(::sigabbrev_np(signalNumber)) << signalNumber;
    }
}

void tst_fatalsignals::faultReleasesThenEndsWithItsSignal() {
    QFETCH(int, signalNumber);
    const ChildEnd end = endOfChild([signalNumber] { ::raise(signalNumber); });
    QVERIFY(end.released);
    QCOMPARE(end.signal, signalNumber);
}

// Infinite recursion faults where no stack is left: the handler runs on its own.
void tst_fatalsignals::stackOverflowReleasesToo() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a sanitizer runtime deals with stack overflows itself");
#endif
    const ChildEnd end = endOfChild([] {
        const rlimit smallStack{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_STACK, &smallStack);
        [[maybe_unused]] const long sum = descend(0);
    });
    QVERIFY(end.released);
    QCOMPARE(end.signal, SIGSEGV);
}

QTEST_MAIN(tst_fatalsignals)
#include "tst_fatalsignals.moc"
