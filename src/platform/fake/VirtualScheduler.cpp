#include "platform/fake/VirtualScheduler.h"

#include <algorithm>

namespace pelkora {

Scheduler::TaskId VirtualScheduler::callAfter(std::int64_t delayMs, Task task) {
    const TaskId id = nextId_++;
    const std::int64_t due = now_ + std::max<std::int64_t>(delayMs, 0);
    tasks_.emplace(Key{due, id}, std::move(task));
    dueById_.emplace(id, due);
    return id;
}

void VirtualScheduler::cancel(TaskId id) {
    auto found = dueById_.find(id);
    if (found == dueById_.end()) {
        return;
    }
    tasks_.erase(Key{found->second, id});
    dueById_.erase(found);
}

std::int64_t VirtualScheduler::nextDueMs() const {
    return tasks_.empty() ? now_ : tasks_.begin()->first.first;
}

bool VirtualScheduler::runNext() {
    if (tasks_.empty()) {
        return false;
    }
    auto first = tasks_.begin();
    const auto [due, id] = first->first;
    Task task = std::move(first->second);
    tasks_.erase(first);
    dueById_.erase(id);
    now_ = std::max(now_, due);
    task();
    return true;
}

void VirtualScheduler::advanceTo(std::int64_t t) {
    while (!tasks_.empty() && tasks_.begin()->first.first <= t) {
        runNext();
    }
    now_ = std::max(now_, t);
}

bool VirtualScheduler::runUntilIdle(std::int64_t limitMs) {
    while (!tasks_.empty()) {
        if (tasks_.begin()->first.first > limitMs) {
            now_ = std::max(now_, limitMs);
            return false;
        }
        runNext();
    }
    return true;
}

}  // namespace pelkora
