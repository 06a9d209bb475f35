#include "platform/sndfile/LinearResampler.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pelkora {
namespace {

constexpr std::int64_t kSourceBlockFrames = 4096;

}  // namespace

LinearResampler::LinearResampler(std::int64_t fromRate, std::int64_t toRate,
                                 std::int64_t sourceFrames, Source source)
    : step_(static_cast<double>(fromRate) / static_cast<double>(toRate)),
      lastSourceFrame_(std::max<std::int64_t>(sourceFrames, 1) - 1),
      outputFrames_(
          fromRate == toRate
              ? sourceFrames
              : std::max<std::int64_t>(1, std::llround(static_cast<double>(sourceFrames) / step_))),
      source_(std::move(source)) {}

std::int64_t LinearResampler::read(float* out, std::int64_t count) {
    const std::int64_t frames = std::clamp<std::int64_t>(outputFrames_ - produced_, 0, count);
    for (std::int64_t index = 0; index < frames; ++index) {
        out[index] = outputAt(produced_ + index);
    }
    produced_ += frames;
    return frames;
}

float LinearResampler::outputAt(std::int64_t frame) {
    if (step_ == 1.0) {
        return sourceAt(frame);
    }
    const double position = static_cast<double>(frame) * step_;
    const std::int64_t before = std::min(static_cast<std::int64_t>(position), lastSourceFrame_);
    const std::int64_t after = std::min(before + 1, lastSourceFrame_);
    const auto fraction = static_cast<float>(position - static_cast<double>(before));
    const float first = sourceAt(before);
    return first + (sourceAt(after) - first) * fraction;
}

// Indexes asked for never go back by more than one frame: the output advances
// and each frame looks at most one frame ahead of where the next one starts.
float LinearResampler::sourceAt(std::int64_t index) {
    while (index >= windowStart_ + static_cast<std::int64_t>(window_.size())) {
        if (sourceEnded_) {
            return 0.0f;
        }
        slideWindow();
    }
    return window_[static_cast<std::size_t>(std::max<std::int64_t>(index - windowStart_, 0))];
}

void LinearResampler::slideWindow() {
    // The newest frame is kept: the next output frame may still start there.
    if (window_.size() > 1) {
        windowStart_ += static_cast<std::int64_t>(window_.size()) - 1;
        window_.erase(window_.begin(), window_.end() - 1);
    }
    const std::size_t kept = window_.size();
    window_.resize(kept + kSourceBlockFrames);
    const std::int64_t got =
        std::max<std::int64_t>(source_(window_.data() + kept, kSourceBlockFrames), 0);
    window_.resize(kept + static_cast<std::size_t>(got));
    sourceEnded_ = got == 0;
}

}  // namespace pelkora
