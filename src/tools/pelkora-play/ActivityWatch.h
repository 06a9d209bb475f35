#pragma once

#include <functional>
#include <set>
#include <string>

#include "platform/Scheduler.h"
#include "platform/SoundOutput.h"

namespace pelkora {

// Stands between the keyer and its scheduler and sound output, and knows
// whether the keyer still waits for anything: a timer of its own or the end
// of a sound. When it waits for nothing, nothing will happen any more unless
// somebody acts, and the run can be judged. afterActivity runs after each of
// the keyer's timers and each end of a sound, so the run can look again.
// Threading: loop thread only, like the services it wraps.
class ActivityWatch : public Scheduler, public SoundOutput {
  public:
    ActivityWatch(Scheduler& scheduler, SoundOutput& sound)
        : scheduler_(scheduler), sound_(sound) {}
    ~ActivityWatch() override;
    ActivityWatch(const ActivityWatch&) = delete;
    ActivityWatch& operator=(const ActivityWatch&) = delete;

    std::function<void()> afterActivity;

    // Neither a timer nor a sound is pending.
    bool idle() const { return pending_.empty() && !soundPending_; }

    // Scheduler
    std::int64_t nowMs() const override { return scheduler_.nowMs(); }
    TaskId callAfter(std::int64_t delayMs, Task task) override;
    void cancel(TaskId id) override;

    // SoundOutput
    PlayStart play(const std::string& path, FinishedCallback onFinished) override;
    void stop() override;
    bool isPlaying() const override { return sound_.isPlaying(); }
    bool keepForFollower(const std::string& nextPath) override;
    PlayStart playFollowing(const std::string& path, FinishedCallback onFinished) override;
    std::int64_t handOverLeadMs() const override { return sound_.handOverLeadMs(); }

  private:
    FinishedCallback watched(FinishedCallback onFinished);
    void notify() {
        if (afterActivity) {
            afterActivity();
        }
    }

    Scheduler& scheduler_;
    SoundOutput& sound_;
    std::set<TaskId> pending_;  // cancelled on destruction, so no task outlives this
    bool soundPending_ = false;
    std::uint64_t soundNumber_ = 0;  // tells a late end of a cut sound from the current one
};

}  // namespace pelkora
