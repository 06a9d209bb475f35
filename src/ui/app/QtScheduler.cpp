#include "ui/app/QtScheduler.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <exception>
#include <limits>
#include <system_error>
#include <vector>

namespace pelkora {
namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Far enough for any beacon interval, near enough that due times never overflow.
constexpr std::int64_t kLongestDelayMs = std::int64_t{std::numeric_limits<int>::max()};

std::int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * kNsPerSecond + now.tv_nsec;
}

// Runs a function when the scope ends, however it ends.
template <typename Function>
class AtScopeEnd {
  public:
    explicit AtScopeEnd(Function function) : function_(std::move(function)) {}
    ~AtScopeEnd() { function_(); }
    AtScopeEnd(const AtScopeEnd&) = delete;
    AtScopeEnd& operator=(const AtScopeEnd&) = delete;

  private:
    Function function_;
};

}  // namespace

QtScheduler::QtScheduler(QObject* parent)
    : QObject(parent),
      timerFd_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
      startNs_(monotonicNs()) {
    if (timerFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "timerfd_create");
    }
    notifier_ = new QSocketNotifier(timerFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QtScheduler::runDueTasks);
}

QtScheduler::~QtScheduler() {
    delete notifier_;
    ::close(timerFd_);
}

std::int64_t QtScheduler::nowMs() const {
    return (monotonicNs() - startNs_) / kNsPerMs;
}

Scheduler::TaskId QtScheduler::callAfter(std::int64_t delayMs, Task task) {
    const TaskId id = nextId_++;
    const std::int64_t dueNs =
        monotonicNs() + std::clamp<std::int64_t>(delayMs, 0, kLongestDelayMs) * kNsPerMs;
    const bool earliest = timers_.empty() || DueKey{dueNs, id} < timers_.begin()->first;
    timers_.emplace(DueKey{dueNs, id}, std::move(task));
    dueNsById_.emplace(id, dueNs);
    if (earliest) {
        armForEarliest();
    }
    return id;
}

void QtScheduler::cancel(TaskId id) {
    auto found = dueNsById_.find(id);
    if (found == dueNsById_.end()) {
        return;
    }
    timers_.erase(DueKey{found->second, id});
    dueNsById_.erase(found);
    // A descriptor armed for a task that is gone only wakes the loop once.
}

void QtScheduler::post(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this, [this, job = std::move(task)] { runTask(job); }, Qt::QueuedConnection);
}

// Runs every task due by now, in due order. Tasks armed while these run wait
// for the next wake-up, even with delay 0, so that a timer re-arming itself
// lets the loop serve the window in between.
void QtScheduler::runDueTasks() {
    std::uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) < 0) {
        // EAGAIN: woken for a task armed afresh since; the times below decide.
    }
    AtScopeEnd rearm([this] { armForEarliest(); });
    const std::int64_t nowNs = monotonicNs();
    std::vector<TaskId> due;
    for (const auto& [key, task] : timers_) {
        if (key.first > nowNs) {
            break;
        }
        due.push_back(key.second);
    }
    for (TaskId id : due) {
        auto found = dueNsById_.find(id);
        if (found == dueNsById_.end()) {
            continue;  // cancelled by a task that ran before it
        }
        auto timer = timers_.find(DueKey{found->second, id});
        Task job = std::move(timer->second);
        timers_.erase(timer);
        dueNsById_.erase(found);
        runTask(job);
    }
}

void QtScheduler::armForEarliest() {
    itimerspec when{};
    if (!timers_.empty()) {
        // Absolute, so that the time spent getting here is not added again;
        // a due time already past still needs a non-zero value to arm at all.
        const std::int64_t dueNs = std::max<std::int64_t>(timers_.begin()->first.first, 1);
        when.it_value.tv_sec = static_cast<time_t>(dueNs / kNsPerSecond);
        when.it_value.tv_nsec = static_cast<long>(dueNs % kNsPerSecond);
    }
    ::timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &when, nullptr);
}

void QtScheduler::runTask(const std::function<void()>& task) {
    if (!onTaskFailed) {
        task();
        return;
    }
    try {
        task();
    } catch (const std::exception& failure) {
        onTaskFailed(failure.what());
    } catch (...) {
        onTaskFailed("unknown exception");
    }
}

}  // namespace pelkora
