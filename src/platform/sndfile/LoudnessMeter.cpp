#include "platform/sndfile/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/recording/TakeShapeMath.h"

namespace pelkora {
namespace {

std::optional<double> finite(int status, double value) {
    if (status != EBUR128_SUCCESS || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<LoudnessMeter> LoudnessMeter::create(int rate) {
    if (rate <= 0) {
        return std::nullopt;
    }
    ebur128_state* state =
        ebur128_init(1, static_cast<unsigned long>(rate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (state == nullptr) {
        return std::nullopt;
    }
    return LoudnessMeter(state);
}

LoudnessMeter::~LoudnessMeter() {
    if (state_ != nullptr) {
        ebur128_destroy(&state_);
    }
}

LoudnessMeter::LoudnessMeter(LoudnessMeter&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)),
      frames_(other.frames_),
      samplePeak_(other.samplePeak_) {}

void LoudnessMeter::add(std::span<const float> samples) {
    if (samples.empty()) {
        return;
    }
    ebur128_add_frames_float(state_, samples.data(), samples.size());
    frames_ += static_cast<std::int64_t>(samples.size());
    samplePeak_ = std::max(samplePeak_, TakeShapeMath::samplePeak(samples));
}

std::optional<double> LoudnessMeter::integratedLufs() const {
    double lufs = 0;
    const int status = ebur128_loudness_global(state_, &lufs);
    return finite(status, lufs);
}

std::optional<double> LoudnessMeter::truePeakDbtp() const {
    double peak = 0;
    const int status = ebur128_true_peak(state_, 0, &peak);
    if (status != EBUR128_SUCCESS || !std::isfinite(peak)) {
        return std::nullopt;
    }
    return TakeShapeMath::toDb(peak);
}

}  // namespace pelkora
