#pragma once

#include <ebur128.h>

#include <cstdint>
#include <optional>
#include <span>

namespace pelkora {

// EBU R128 loudness and true peak of a mono sound fed block by block
// (libebur128). Threading: one thread at a time.
class LoudnessMeter {
  public:
    // Nothing when libebur128 refuses the rate.
    static std::optional<LoudnessMeter> create(int rate);
    ~LoudnessMeter();
    LoudnessMeter(LoudnessMeter&& other) noexcept;
    LoudnessMeter& operator=(LoudnessMeter&&) = delete;
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(std::span<const float> samples);

    std::int64_t frames() const { return frames_; }
    float samplePeak() const { return samplePeak_; }
    // Gated integrated loudness; nothing for less than one 400 ms block or
    // when every block is under the absolute gate.
    std::optional<double> integratedLufs() const;
    std::optional<double> truePeakDbtp() const;

  private:
    explicit LoudnessMeter(ebur128_state* state) : state_(state) {}

    ebur128_state* state_;
    std::int64_t frames_ = 0;
    float samplePeak_ = 0.0f;
};

}  // namespace pelkora
