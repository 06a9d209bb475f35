#include "platform/fake/FakeSoundOutput.h"

#include <utility>

namespace pelkora {

PlayStart FakeSoundOutput::play(const std::string& path, FinishedCallback onFinished) {
    stop();
    calls_.push_back({"play " + path, scheduler_.nowMs()});
    const auto found = durations_.find(path);
    const std::int64_t ms = found == durations_.end() ? 0 : found->second;
    if (ms < 0) {
        return PlayStart::refused("the sound output refused it");
    }
    current_ = path;
    pending_ = scheduler_.callAfter(ms, [this, done = std::move(onFinished)] {
        pending_ = 0;
        finished_.push_back(current_);
        done();
    });
    return PlayStart::ok();
}

void FakeSoundOutput::stop() {
    if (pending_ != 0) {
        scheduler_.cancel(pending_);
        pending_ = 0;
        cut_.push_back(current_);
        calls_.push_back({"stop", scheduler_.nowMs()});
    }
}

}  // namespace pelkora
