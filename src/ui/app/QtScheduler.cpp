#include "ui/app/QtScheduler.h"

#include <QMetaObject>
#include <algorithm>
#include <exception>
#include <limits>

namespace pelkora {

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {
    clock_.start();
}

QtScheduler::~QtScheduler() {
    for (auto& [id, timer] : timers_) {
        delete timer;
    }
}

Scheduler::TaskId QtScheduler::callAfter(std::int64_t delayMs, Task task) {
    const TaskId id = nextId_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    // Precise timers: a beacon interval or a pause should not drift by the
    // 5 % that coarse timers allow.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id, job = std::move(task)] {
        auto found = timers_.find(id);
        if (found == timers_.end()) {
            return;
        }
        found->second->deleteLater();
        timers_.erase(found);
        runTask(job);
    });
    const auto clamped = std::clamp<std::int64_t>(delayMs, 0, std::numeric_limits<int>::max());
    timer->start(static_cast<int>(clamped));
    timers_.emplace(id, timer);
    return id;
}

void QtScheduler::cancel(TaskId id) {
    auto found = timers_.find(id);
    if (found == timers_.end()) {
        return;
    }
    found->second->stop();
    found->second->deleteLater();
    timers_.erase(found);
}

void QtScheduler::post(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this, [this, job = std::move(task)] { runTask(job); }, Qt::QueuedConnection);
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
