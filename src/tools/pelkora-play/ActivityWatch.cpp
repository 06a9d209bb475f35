#include "ActivityWatch.h"

#include <memory>
#include <utility>

namespace pelkora {

ActivityWatch::~ActivityWatch() {
    for (const TaskId id : pending_) {
        scheduler_.cancel(id);
    }
}

Scheduler::TaskId ActivityWatch::callAfter(std::int64_t delayMs, Task task) {
    // The scheduler names the task only once it is queued; tasks never run
    // from inside callAfter(), so the name is known by the time this one runs.
    auto id = std::make_shared<TaskId>(0);
    *id = scheduler_.callAfter(delayMs, [this, id, task = std::move(task)] {
        pending_.erase(*id);
        task();
        notify();
    });
    pending_.insert(*id);
    return *id;
}

void ActivityWatch::cancel(TaskId id) {
    pending_.erase(id);
    scheduler_.cancel(id);
}

PlayStart ActivityWatch::play(const std::string& path, FinishedCallback onFinished) {
    PlayStart start = sound_.play(path, watched(std::move(onFinished)));
    soundPending_ = start.started;
    return start;
}

PlayStart ActivityWatch::playFollowing(const std::string& path, FinishedCallback onFinished) {
    PlayStart start = sound_.playFollowing(path, watched(std::move(onFinished)));
    soundPending_ = start.started;
    return start;
}

// A kept sound's end is never reported: the keyer waits for its follower.
bool ActivityWatch::keepForFollower(const std::string& nextPath) {
    if (!sound_.keepForFollower(nextPath)) {
        return false;
    }
    ++soundNumber_;
    soundPending_ = false;
    return true;
}

SoundOutput::FinishedCallback ActivityWatch::watched(FinishedCallback onFinished) {
    const std::uint64_t number = ++soundNumber_;
    return [this, number, onFinished = std::move(onFinished)] {
        if (number == soundNumber_) {
            soundPending_ = false;
        }
        if (onFinished) {
            onFinished();
        }
        notify();
    };
}

void ActivityWatch::stop() {
    ++soundNumber_;
    soundPending_ = false;
    sound_.stop();
}

}  // namespace pelkora
