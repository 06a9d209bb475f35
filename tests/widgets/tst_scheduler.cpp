#include <QtTest>
#include <chrono>
#include <vector>

#include "ui/app/QtScheduler.h"

using pelkora::QtScheduler;

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

// The desktop program's timers: every entry's end, pause and beacon wait is
// one of them, on Qt's loop but on a timer descriptor of their own.
class tst_scheduler : public QObject {
    Q_OBJECT

  private slots:
    void tasksRunInDueOrderAndNeverEarly();
    void cancelledTasksNeverRun();
    void aTaskReArmingAtOnceLetsTheLoopServeOthers();
};

void tst_scheduler::tasksRunInDueOrderAndNeverEarly() {
    QtScheduler scheduler;
    const Clock::time_point start = Clock::now();
    std::vector<int> order;
    std::vector<std::int64_t> ranAfterMs;
    auto note = [&](int name) {
        return [&, name] {
            order.push_back(name);
            ranAfterMs.push_back(msSince(start));
        };
    };
    scheduler.callAfter(30, note(30));
    scheduler.callAfter(5, note(5));
    scheduler.callAfter(-7, note(0));
    scheduler.callAfter(5, note(6));  // same time as 5: after it, as it was armed after
    scheduler.callAfter(15, note(15));
    QTRY_COMPARE(order.size(), std::size_t{5});
    QCOMPARE(order, (std::vector<int>{0, 5, 6, 15, 30}));
    QVERIFY(ranAfterMs[1] >= 5);
    QVERIFY(ranAfterMs[3] >= 15);
    QVERIFY(ranAfterMs[4] >= 30);
    QVERIFY(scheduler.nowMs() >= 30);
}

void tst_scheduler::cancelledTasksNeverRun() {
    QtScheduler scheduler;
    std::vector<int> ran;
    const auto earliest = scheduler.callAfter(2, [&] { ran.push_back(2); });
    QtScheduler::TaskId later = 0;
    scheduler.callAfter(4, [&] {
        ran.push_back(4);
        scheduler.cancel(later);  // due at the same wake-up, cancelled by an earlier task
    });
    later = scheduler.callAfter(4, [&] { ran.push_back(5); });
    scheduler.callAfter(20, [&] { ran.push_back(20); });
    scheduler.cancel(earliest);
    scheduler.cancel(earliest);  // twice, and unknown ids, change nothing
    scheduler.cancel(999);
    QTRY_COMPARE(ran.size(), std::size_t{2});
    QTest::qWait(30);
    QCOMPARE(ran, (std::vector<int>{4, 20}));
}

void tst_scheduler::aTaskReArmingAtOnceLetsTheLoopServeOthers() {
    QtScheduler scheduler;
    int turns = 0;
    bool posted = false;
    bool timed = false;
    std::function<void()> spin = [&] {
        ++turns;
        if (!posted || !timed) {
            scheduler.callAfter(0, spin);
        }
    };
    scheduler.callAfter(0, spin);
    scheduler.post([&] { posted = true; });
    scheduler.callAfter(3, [&] { timed = true; });
    QTRY_VERIFY(posted && timed);
    QVERIFY(turns >= 1);
}

QTEST_MAIN(tst_scheduler)
#include "tst_scheduler.moc"
