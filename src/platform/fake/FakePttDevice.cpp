#include "platform/fake/FakePttDevice.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace pelkora {

FakePttDevice::FakePttDevice(Scheduler& scheduler, std::string name, const FakePttScript& script,
                             FakePttRecord& record)
    : scheduler_(scheduler), name_(std::move(name)), script_(script), record_(record) {}

FakePttDevice::~FakePttDevice() {
    cancelPending();
    if (open_) {
        record_.keyed = false;
    }
}

void FakePttDevice::open(Done done) {
    record_.calls.push_back("open " + name_);
    const Outcome outcome = script_.open;
    complete(outcome, std::move(done),
             [this, outcome] { open_ = outcome.ok() || outcome.status == Status::CannotClearDtr; });
}

void FakePttDevice::setPtt(bool on, int /*lineChoice*/, Done done) {
    record_.calls.push_back((on ? "key " : "release ") + name_);
    if (!open_ && pending_.empty()) {
        done({});  // nothing open: nothing to key
        return;
    }
    const Outcome outcome = on ? script_.key : script_.release;
    complete(outcome, std::move(done), [this, on, outcome] {
        if (open_ && outcome.ok()) {
            record_.keyed = on;
        }
    });
}

void FakePttDevice::close() {
    cancelPending();
    if (open_) {
        record_.calls.push_back("close " + name_);
        record_.keyed = false;
    }
    open_ = false;
}

void FakePttDevice::complete(Outcome outcome, Done done, std::function<void()> effect) {
    if (script_.latencyMs <= 0 && pending_.empty()) {
        effect();
        done(outcome);
        return;
    }
    // In the order asked, however the latency changes.
    const std::int64_t due = std::max(scheduler_.nowMs() + script_.latencyMs, lastDueMs_);
    lastDueMs_ = due;
    auto task = std::make_shared<Scheduler::TaskId>(0);
    *task = scheduler_.callAfter(
        due - scheduler_.nowMs(),
        [this, task, outcome, done = std::move(done), effect = std::move(effect)] {
            std::erase(pending_, *task);
            effect();
            done(outcome);
        });
    pending_.push_back(*task);
}

void FakePttDevice::cancelPending() {
    for (const Scheduler::TaskId id : pending_) {
        scheduler_.cancel(id);
    }
    pending_.clear();
}

}  // namespace pelkora
