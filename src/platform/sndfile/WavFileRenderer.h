#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Scheduler.h"
#include "platform/SoundOutput.h"

namespace pelkora {

// A sound output that plays nothing: it records what would go on air, at the
// scheduler's (virtual) time, and writes it all as one mono WAV file. Each file
// ends after its decoded length, rounded up to whole milliseconds.
// Threading: called only on the loop thread; the finished callback is a
// scheduler task, so it arrives on that thread too.
class WavFileRenderer : public SoundOutput {
  public:
    // One played file, mono at the output rate, cut short when it was stopped.
    struct Segment {
        std::string path;
        std::int64_t startMs = 0;
        std::vector<float> samples;

        std::int64_t frames() const { return static_cast<std::int64_t>(samples.size()); }
    };

    static constexpr std::int64_t kDefaultRate = 8000;
    // Longer files are refused: a segment holds its decoded samples in memory.
    static constexpr std::int64_t kLongestFileSeconds = 30 * 60;

    explicit WavFileRenderer(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~WavFileRenderer() override;
    WavFileRenderer(const WavFileRenderer&) = delete;
    WavFileRenderer& operator=(const WavFileRenderer&) = delete;

    PlayStart play(const std::string& path, FinishedCallback onFinished) override;
    void stop() override;
    bool isPlaying() const override { return pendingFinish_.has_value(); }

    // Writes 16-bit PCM mono at outputRate(), exactly endMs long: silence where
    // nothing played, later segments over earlier ones, nothing past endMs.
    // On failure returns false and, when error is given, says why.
    bool writeWav(const std::string& outPath, std::int64_t endMs, std::string* error) const;

    // The rate of the first file played; kDefaultRate before that.
    std::int64_t outputRate() const { return outputRate_.value_or(kDefaultRate); }
    const std::vector<Segment>& segments() const { return segments_; }

  private:
    void finish();
    void overlay(const Segment& segment, std::int64_t firstFrame, std::vector<float>& block) const;

    Scheduler& scheduler_;
    std::vector<Segment> segments_;
    std::optional<std::int64_t> outputRate_;
    std::optional<Scheduler::TaskId> pendingFinish_;
    FinishedCallback onFinished_;
};

}  // namespace pelkora
