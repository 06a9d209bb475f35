#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Scheduler.h"
#include "platform/SoundOutput.h"
#include "platform/sndfile/LinearResampler.h"
#include "platform/sndfile/MonoSoundReader.h"
#include "platform/sndfile/WavBlockWriter.h"

namespace pelkora {

// A sound output that plays nothing: it renders what would go on air, at the
// scheduler's (virtual) time, into one mono WAV file at kOutputRate. Each file
// ends after its length, rounded up to whole milliseconds; files at other
// rates are resampled. The file is written as time moves on, a block at a
// time, so memory stays the same however long the render or the files.
// Threading: called only on the loop thread; the finished callback is a
// scheduler task, so it arrives on that thread too.
class WavFileRenderer : public SoundOutput {
  public:
    // Voice on air needs no more than 8 kHz of bandwidth; whole frames per
    // millisecond keep every segment on exact frame boundaries.
    static constexpr std::int64_t kOutputRate = 16000;
    static constexpr std::int64_t kLowestFileRate = 1000;
    static constexpr std::int64_t kHighestFileRate = 384000;
    static_assert(kOutputRate % 1000 == 0);

    explicit WavFileRenderer(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~WavFileRenderer() override;
    WavFileRenderer(const WavFileRenderer&) = delete;
    WavFileRenderer& operator=(const WavFileRenderer&) = delete;

    // Creates the output before anything plays (what plays before is silence
    // in it). On failure returns false and, when error is given, says why.
    bool open(const std::string& outPath, std::string* error);
    // The longest render whose WAV file can hold it.
    std::int64_t longestRenderMs() const;
    // Pads silence up to endMs (or cuts what lies past it) and puts the file in
    // place under its name: exactly endMs long, 16-bit PCM, full scale clipped.
    // False, with the reason, when anything failed since open(); then no file
    // is left under the name.
    bool close(std::int64_t endMs, std::string* error);

    PlayStart play(const std::string& path, FinishedCallback onFinished) override;
    void stop() override;
    bool isPlaying() const override { return pendingFinish_.has_value(); }

  private:
    // The file playing now, read only as far as it has been rendered.
    struct Segment {
        std::unique_ptr<MonoSoundReader> reader;
        std::unique_ptr<LinearResampler> resampler;
        std::int64_t startFrame = 0;
    };

    void finish();
    void render(Segment& segment, std::int64_t frames);
    void failOutput(const std::string& message);

    Scheduler& scheduler_;
    WavBlockWriter writer_;
    std::optional<Segment> current_;
    std::string outputFailure_;
    std::optional<Scheduler::TaskId> pendingFinish_;
    FinishedCallback onFinished_;
};

}  // namespace pelkora
