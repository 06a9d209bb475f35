#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Scheduler.h"
#include "platform/SoundOutput.h"

namespace pelkora {

// A sound output that plays nothing and records what it was asked. A sound
// lasts the duration given for its path (default 0 ms) in the scheduler's
// time; paths marked unplayable make play() fail.
class FakeSoundOutput : public SoundOutput {
  public:
    struct Call {
        std::string what;  // "play <path>" or "stop"
        std::int64_t atMs;
    };

    explicit FakeSoundOutput(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~FakeSoundOutput() override { stop(); }

    void setDuration(const std::string& path, std::int64_t ms) { durations_[path] = ms; }
    void setUnplayable(const std::string& path) { durations_[path] = -1; }

    PlayStart play(const std::string& path, FinishedCallback onFinished) override;
    void stop() override;
    bool isPlaying() const override { return pending_ != 0; }

    const std::vector<Call>& calls() const { return calls_; }
    // Paths that were played to their end, in order.
    const std::vector<std::string>& finished() const { return finished_; }
    // Paths that were cut while sounding, in order.
    const std::vector<std::string>& cut() const { return cut_; }

  private:
    Scheduler& scheduler_;
    std::map<std::string, std::int64_t> durations_;
    std::vector<Call> calls_;
    std::vector<std::string> finished_;
    std::vector<std::string> cut_;
    std::string current_;
    Scheduler::TaskId pending_ = 0;
};

}  // namespace pelkora
