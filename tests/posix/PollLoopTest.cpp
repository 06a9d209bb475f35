#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/PollLoop.h"

namespace pelkora {
namespace {

// Generous on purpose: these bound a hang, not the loop's punctuality.
constexpr int kPatienceMs = 2000;

// Runs passes until done() holds or the patience runs out.
template <typename Done>
bool runUntil(PollLoop& loop, Done done) {
    const std::int64_t giveUpMs = loop.nowMs() + kPatienceMs;
    while (!done() && loop.nowMs() < giveUpMs) {
        loop.runOnce(50);
    }
    return done();
}

// Stops run() after the patience, so a lost wake-up fails a test instead of hanging it.
void armWatchdog(PollLoop& loop) {
    loop.callAfter(kPatienceMs, [&loop] { loop.quit(-1); });
}

std::int64_t threadCpuUs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000 + ts.tv_nsec / 1000;
}

TEST(PollLoopTest, TimersRunByDueTimeThenPostingOrder) {
    struct Timer {
        std::int64_t delayMs;
        std::string name;
    };
    const std::vector<Timer> timers = {{30, "a"}, {10, "b"}, {0, "c"}, {10, "d"},
                                       {-5, "e"}, {20, "f"}, {0, "g"}};
    PollLoop loop;
    std::vector<std::string> ran;
    for (const Timer& timer : timers) {
        loop.callAfter(timer.delayMs, [&ran, name = timer.name] { ran.push_back(name); });
    }
    ASSERT_TRUE(runUntil(loop, [&] { return ran.size() == timers.size(); }));
    EXPECT_EQ(ran, (std::vector<std::string>{"c", "e", "g", "b", "d", "f", "a"}));
}

TEST(PollLoopTest, TimerNeverRunsBeforeItIsDue) {
    PollLoop loop;
    for (std::int64_t delayMs : {1, 15, 60}) {
        const std::int64_t armedMs = loop.nowMs();
        std::int64_t ranMs = -1;
        loop.callAfter(delayMs, [&] { ranMs = loop.nowMs(); });
        ASSERT_TRUE(runUntil(loop, [&] { return ranMs >= 0; })) << delayMs;
        EXPECT_GE(ranMs - armedMs, delayMs);
    }
}

TEST(PollLoopTest, ZeroDelayRunsOnTheNextPassNotInsideCallAfter) {
    PollLoop loop;
    int rearmed = 0;
    std::function<void()> rearm = [&] {
        ++rearmed;
        loop.callAfter(0, rearm);
    };
    loop.callAfter(0, rearm);
    EXPECT_EQ(rearmed, 0);
    // A task that re-arms itself at once still leaves one run per pass.
    for (int pass = 1; pass <= 3; ++pass) {
        EXPECT_TRUE(loop.runOnce(kPatienceMs));
        EXPECT_EQ(rearmed, pass);
    }
}

TEST(PollLoopTest, CancelledTimerNeverRuns) {
    PollLoop loop;
    std::vector<std::string> ran;
    const auto dropped = loop.callAfter(5, [&] { ran.push_back("dropped"); });
    loop.callAfter(20, [&] { ran.push_back("kept"); });
    loop.cancel(dropped);
    loop.cancel(dropped);  // twice: ignored
    loop.cancel(123456);   // never issued: ignored
    // "dropped" falls due first, so had it survived it would lead the list.
    ASSERT_TRUE(runUntil(loop, [&] { return !ran.empty(); }));
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});
}

TEST(PollLoopTest, TaskCanCancelATimerDueInTheSamePass) {
    PollLoop loop;
    std::vector<std::string> ran;
    Scheduler::TaskId second = 0;
    Scheduler::TaskId first = loop.callAfter(0, [&] {
        ran.push_back("first");
        loop.cancel(second);
        loop.cancel(first);  // itself, already finished: ignored
    });
    second = loop.callAfter(0, [&] { ran.push_back("second"); });
    loop.callAfter(0, [&] { ran.push_back("third"); });
    loop.runOnce(kPatienceMs);
    loop.runOnce(30);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "third"}));
}

TEST(PollLoopTest, PostFromAnotherThreadWakesTheLoopAndRunsOnIt) {
    PollLoop loop;
    armWatchdog(loop);
    std::thread::id ranOn;
    std::vector<int> order;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (int i = 0; i < 100; ++i) {
            loop.post([&order, i] { order.push_back(i); });
        }
        loop.post([&] {
            ranOn = std::this_thread::get_id();
            loop.quit(7);
        });
    });
    const std::int64_t startMs = loop.nowMs();
    const int code = loop.run();
    poster.join();
    EXPECT_EQ(code, 7);
    EXPECT_LT(loop.nowMs() - startMs, kPatienceMs) << "the post did not wake the loop";
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    std::vector<int> expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
}

TEST(PollLoopTest, QuitEndsRunBeforeTheRestOfThePass) {
    PollLoop loop;
    std::vector<std::string> ran;
    loop.callAfter(0, [&] {
        ran.push_back("quitter");
        loop.quit(3);
    });
    loop.callAfter(0, [&] { ran.push_back("later"); });
    EXPECT_EQ(loop.run(), 3);
    EXPECT_EQ(ran, std::vector<std::string>{"quitter"});
    // The rest is still pending, for whoever runs the loop next.
    EXPECT_TRUE(loop.runOnce(0));
    EXPECT_EQ(ran, (std::vector<std::string>{"quitter", "later"}));
}

TEST(PollLoopTest, ThrowingTaskLeavesTheLoopUsable) {
    PollLoop loop;
    std::vector<std::string> ran;
    loop.post([] { throw std::runtime_error("task failed"); });
    loop.post([&] { ran.push_back("posted"); });
    loop.callAfter(0, [&] { ran.push_back("timer"); });
    EXPECT_THROW(loop.runOnce(0), std::runtime_error);
    ASSERT_TRUE(runUntil(loop, [&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "timer"}));
}

TEST(PollLoopTest, EmptyTasksAreHarmless) {
    PollLoop loop;
    loop.post({});
    loop.callAfter(0, {});
    EXPECT_NO_THROW(loop.runOnce(0));
    EXPECT_FALSE(loop.runOnce(0));
}

TEST(PollLoopTest, RunOnceWithNothingToDoWaitsItsTimeout) {
    PollLoop loop;
    const std::int64_t startUs = loop.nowUs();
    EXPECT_FALSE(loop.runOnce(30));
    EXPECT_GE(loop.nowUs() - startUs, 30'000);
}

TEST(PollLoopTest, WatchedSignalArrivesAsALoopEvent) {
    PollLoop loop;
    armWatchdog(loop);
    int received = 0;
    loop.watchSignals({SIGUSR1, SIGUSR2}, [&](int signalNumber) {
        received = signalNumber;
        loop.quit(5);
    });
    ASSERT_EQ(::raise(SIGUSR1), 0);  // blocked now: would otherwise end the test binary
    EXPECT_EQ(loop.run(), 5);
    EXPECT_EQ(received, SIGUSR1);
}

TEST(PollLoopTest, UnwatchableSignalsAreRefused) {
    PollLoop loop;
    for (int signalNumber : {SIGKILL, SIGSTOP, 0, -1, 4096}) {
        EXPECT_THROW(loop.watchSignals({SIGURG, signalNumber}, [](int) {}), std::invalid_argument)
            << signalNumber;
    }
    EXPECT_THROW(loop.watchSignals({SIGURG}, {}), std::invalid_argument);
    // Refused calls block nothing.
    sigset_t blocked;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
    EXPECT_FALSE(sigismember(&blocked, SIGURG));
}

TEST(PollLoopTest, WaitingForATimerDoesNotSpin) {
    PollLoop loop;
    loop.callAfter(300, [&] { loop.quit(0); });
    const std::int64_t startUs = loop.nowUs();
    const std::int64_t cpuStartUs = threadCpuUs();
    EXPECT_EQ(loop.run(), 0);
    const std::int64_t cpuUsedUs = threadCpuUs() - cpuStartUs;
    EXPECT_GE(loop.nowUs() - startUs, 300'000);
    EXPECT_LT(cpuUsedUs, 50'000);
}

}  // namespace
}  // namespace pelkora
