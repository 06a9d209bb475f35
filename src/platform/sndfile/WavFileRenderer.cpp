#include "platform/sndfile/WavFileRenderer.h"

#include "platform/sndfile/DecodedSound.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

namespace pelkora {
namespace {

struct MonoSound {
    std::vector<float> mono;
    std::int64_t rate = 0;
};

using SoundFilePtr = std::unique_ptr<SNDFILE, decltype(&sf_close)>;

constexpr std::int64_t kWriteBlockFrames = 65536;
// A plain WAV counts its data bytes in 32 bits; 16-bit mono is 2 bytes a frame.
constexpr std::int64_t kLongestOutputFrames = (INT64_C(0xFFFFFFFF) - 4096) / 2;
constexpr double kFrameIndexLimit = 9.0e18;

// Rounds to the nearest frame; absurd times are clamped rather than overflowing.
std::int64_t msToFrame(std::int64_t ms, std::int64_t rate) {
    const double frame = std::round(static_cast<double>(ms) * static_cast<double>(rate) / 1000.0);
    return static_cast<std::int64_t>(std::clamp(frame, -kFrameIndexLimit, kFrameIndexLimit));
}

std::int64_t durationMsRoundedUp(std::int64_t frames, std::int64_t rate) {
    return (frames * 1000 + rate - 1) / rate;
}

// Decodes the file (safely: regular files only, bounded length) and mixes its
// channels down to one.
std::optional<MonoSound> decodeMono(const std::string& path) {
    const auto decoded = DecodedSound::load(path, WavFileRenderer::kLongestFileSeconds);
    if (!decoded) {
        return std::nullopt;
    }
    MonoSound sound{std::vector<float>(static_cast<std::size_t>(decoded->frames())), decoded->rate};
    const auto channels = static_cast<std::size_t>(decoded->channels);
    for (std::size_t frame = 0; frame < sound.mono.size(); ++frame) {
        float sum = 0.0f;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            sum += decoded->samples[frame * channels + channel];
        }
        sound.mono[frame] = sum / static_cast<float>(channels);
    }
    return sound;
}

std::vector<float> resampleLinear(const std::vector<float>& input, std::int64_t fromRate,
                                  std::int64_t toRate) {
    if (fromRate == toRate) {
        return input;
    }
    const double step = static_cast<double>(fromRate) / static_cast<double>(toRate);
    const auto outputFrames =
        std::max<std::int64_t>(1, std::llround(static_cast<double>(input.size()) / step));
    const std::size_t last = input.size() - 1;
    std::vector<float> output(static_cast<std::size_t>(outputFrames));
    for (std::size_t frame = 0; frame < output.size(); ++frame) {
        const double position = static_cast<double>(frame) * step;
        const auto before = std::min(static_cast<std::size_t>(position), last);
        const auto after = std::min(before + 1, last);
        const auto fraction = static_cast<float>(position - static_cast<double>(before));
        output[frame] = input[before] + (input[after] - input[before]) * fraction;
    }
    return output;
}

bool fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
    return false;
}

}  // namespace

WavFileRenderer::~WavFileRenderer() {
    // The pending task points at this object.
    if (pendingFinish_) {
        scheduler_.cancel(*pendingFinish_);
    }
}

PlayStart WavFileRenderer::play(const std::string& path, FinishedCallback onFinished) {
    stop();
    std::optional<MonoSound> sound = decodeMono(path);
    if (!sound) {
        return PlayStart::refused("not a readable sound file");
    }
    const auto sourceFrames = static_cast<std::int64_t>(sound->mono.size());
    if (!outputRate_) {
        outputRate_ = sound->rate;
    }
    segments_.push_back(
        Segment{path, scheduler_.nowMs(), resampleLinear(sound->mono, sound->rate, outputRate())});
    onFinished_ = std::move(onFinished);
    pendingFinish_ =
        scheduler_.callAfter(durationMsRoundedUp(sourceFrames, sound->rate), [this] { finish(); });
    return PlayStart::ok();
}

void WavFileRenderer::finish() {
    pendingFinish_.reset();
    // Moved out first: the callback may well start the next file.
    FinishedCallback callback = std::move(onFinished_);
    onFinished_ = nullptr;
    if (callback) {
        callback();
    }
}

void WavFileRenderer::stop() {
    if (!pendingFinish_) {
        return;
    }
    scheduler_.cancel(*pendingFinish_);
    pendingFinish_.reset();
    onFinished_ = nullptr;
    // Cut in output frames, so the next segment starts exactly where this one ends.
    Segment& current = segments_.back();
    const std::int64_t kept =
        msToFrame(scheduler_.nowMs(), outputRate()) - msToFrame(current.startMs, outputRate());
    current.samples.resize(
        static_cast<std::size_t>(std::clamp<std::int64_t>(kept, 0, current.frames())));
}

void WavFileRenderer::overlay(const Segment& segment, std::int64_t firstFrame,
                              std::vector<float>& block) const {
    const std::int64_t segmentStart = msToFrame(segment.startMs, outputRate());
    const auto blockFrames = static_cast<std::int64_t>(block.size());
    const std::int64_t from = std::max(segmentStart, firstFrame);
    const std::int64_t to = std::min(segmentStart + segment.frames(), firstFrame + blockFrames);
    for (std::int64_t frame = from; frame < to; ++frame) {
        block[static_cast<std::size_t>(frame - firstFrame)] =
            segment.samples[static_cast<std::size_t>(frame - segmentStart)];
    }
}

bool WavFileRenderer::writeWav(const std::string& outPath, std::int64_t endMs,
                               std::string* error) const {
    const std::int64_t rate = outputRate();
    if (endMs < 0) {
        return fail(error, "negative end time: " + std::to_string(endMs) + " ms");
    }
    const std::int64_t totalFrames = msToFrame(endMs, rate);
    if (totalFrames > kLongestOutputFrames) {
        return fail(error, "too long for a WAV file: " + std::to_string(endMs) + " ms");
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SoundFilePtr file(sf_open(outPath.c_str(), SFM_WRITE, &info), &sf_close);
    if (!file) {
        return fail(error, "cannot create " + outPath + ": " + sf_strerror(nullptr));
    }
    // Without clipping, a float sample beyond full scale wraps to the other sign.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    std::vector<float> block;
    for (std::int64_t first = 0; first < totalFrames; first += kWriteBlockFrames) {
        block.assign(static_cast<std::size_t>(std::min(kWriteBlockFrames, totalFrames - first)),
                     0.0f);
        for (const Segment& segment : segments_) {
            overlay(segment, first, block);
        }
        const auto count = static_cast<sf_count_t>(block.size());
        if (sf_writef_float(file.get(), block.data(), count) != count) {
            return fail(error, "cannot write " + outPath + ": " + sf_strerror(file.get()));
        }
    }
    if (sf_close(file.release()) != 0) {
        return fail(error, "cannot finish " + outPath);
    }
    return true;
}

}  // namespace pelkora
