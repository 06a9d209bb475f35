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
//
// With following allowed, keepForFollower() keeps a sounding file playing out
// with its finished callback dropped, and a file played with playFollowing()
// while the kept one still sounds starts where the kept one ends.
class FakeSoundOutput : public SoundOutput {
  public:
    struct Call {
        std::string what;  // "play <path>", "follow <path>", "keep <path>" or "stop"
        std::int64_t atMs;
    };

    explicit FakeSoundOutput(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~FakeSoundOutput() override { stop(); }

    void setDuration(const std::string& path, std::int64_t ms) { durations_[path] = ms; }
    void setUnplayable(const std::string& path) { durations_[path] = -1; }
    void allowFollowing() { following_ = true; }
    void setHandOverLead(std::int64_t ms) { handOverLeadMs_ = ms; }

    PlayStart play(const std::string& path, FinishedCallback onFinished) override;
    void stop() override;
    bool isPlaying() const override { return pending_ != 0 || keptSounding(); }
    bool keepForFollower(const std::string& nextPath) override;
    PlayStart playFollowing(const std::string& path, FinishedCallback onFinished) override;
    std::int64_t handOverLeadMs() const override { return handOverLeadMs_; }

    const std::vector<Call>& calls() const { return calls_; }
    // Paths that were played to their end, in order.
    const std::vector<std::string>& finished() const { return finished_; }
    // Paths that were cut while sounding, in order.
    const std::vector<std::string>& cut() const { return cut_; }

  private:
    PlayStart start(const std::string& path, FinishedCallback onFinished, std::int64_t fromMs);
    bool keptSounding() const { return !kept_.empty() && scheduler_.nowMs() < keptUntilMs_; }

    Scheduler& scheduler_;
    std::map<std::string, std::int64_t> durations_;
    std::vector<Call> calls_;
    std::vector<std::string> finished_;
    std::vector<std::string> cut_;
    std::string current_;
    std::int64_t currentUntilMs_ = 0;
    Scheduler::TaskId pending_ = 0;
    bool following_ = false;
    std::int64_t handOverLeadMs_ = 0;
    std::string kept_;  // playing out with nobody waiting for it
    std::int64_t keptUntilMs_ = 0;
};

}  // namespace pelkora
