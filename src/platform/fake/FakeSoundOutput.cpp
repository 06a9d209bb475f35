#include "platform/fake/FakeSoundOutput.h"

#include <utility>

namespace pelkora {

PlayStart FakeSoundOutput::play(const std::string& path, FinishedCallback onFinished) {
    stop();
    calls_.push_back({"play " + path, scheduler_.nowMs()});
    return start(path, std::move(onFinished), scheduler_.nowMs());
}

PlayStart FakeSoundOutput::playFollowing(const std::string& path, FinishedCallback onFinished) {
    if (!following_ || pending_ != 0) {
        return play(path, std::move(onFinished));
    }
    calls_.push_back({"follow " + path, scheduler_.nowMs()});
    const std::int64_t from = keptSounding() ? keptUntilMs_ : scheduler_.nowMs();
    return start(path, std::move(onFinished), from);
}

PlayStart FakeSoundOutput::start(const std::string& path, FinishedCallback onFinished,
                                 std::int64_t fromMs) {
    const auto found = durations_.find(path);
    const std::int64_t ms = found == durations_.end() ? 0 : found->second;
    if (ms < 0) {
        return PlayStart::refused("the sound output refused it");
    }
    current_ = path;
    currentUntilMs_ = fromMs + ms;
    pending_ = scheduler_.callAfter(currentUntilMs_ - scheduler_.nowMs(),
                                    [this, done = std::move(onFinished)] {
                                        pending_ = 0;
                                        finished_.push_back(current_);
                                        done();
                                    });
    return PlayStart::ok();
}

bool FakeSoundOutput::keepForFollower(const std::string& nextPath) {
    const auto next = durations_.find(nextPath);
    if (!following_ || pending_ == 0 || (next != durations_.end() && next->second < 0)) {
        return false;
    }
    calls_.push_back({"keep " + current_, scheduler_.nowMs()});
    scheduler_.cancel(pending_);
    pending_ = 0;
    kept_ = current_;
    keptUntilMs_ = currentUntilMs_;
    return true;
}

void FakeSoundOutput::stop() {
    const std::size_t cutBefore = cut_.size();
    if (keptSounding()) {
        cut_.push_back(kept_);
    }
    kept_.clear();
    if (pending_ != 0) {
        scheduler_.cancel(pending_);
        pending_ = 0;
        cut_.push_back(current_);
    }
    if (cut_.size() != cutBefore) {
        calls_.push_back({"stop", scheduler_.nowMs()});
    }
}

}  // namespace pelkora
