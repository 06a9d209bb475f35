#pragma once

#include <pulse/context.h>
#include <pulse/stream.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace pelkora {

// The level of what a sink plays: a record stream on the sink's monitor that
// the server reduces to peaks (PA_STREAM_PEAK_DETECT), a few dozen a second.
// Only the latest peak is kept, in one atomic slot that the meter's timer
// reads; nothing is posted per peak.
// Threading: follow() and stop() on the libpulse thread or under the main
// loop lock; peak() from any thread.
class PulsePeakMeter {
  public:
    static constexpr std::int32_t kMaximum = 32767;
    // Peaks per second the server sends.
    static constexpr std::uint32_t kPeakRate = 40;

    PulsePeakMeter() = default;
    ~PulsePeakMeter();
    PulsePeakMeter(const PulsePeakMeter&) = delete;
    PulsePeakMeter& operator=(const PulsePeakMeter&) = delete;

    // Records from monitor; nothing changes while it already does.
    void follow(pa_context* context, const std::string& monitor);
    // Closes the stream (a lost server, a sink gone); the level reads 0.
    void stop() noexcept;

    // 0..kMaximum.
    std::int32_t peak() const { return peak_.load(std::memory_order_relaxed); }

  private:
    static void readable(pa_stream* stream, std::size_t bytes, void* userdata);
    static void stateChanged(pa_stream* stream, void* userdata);
    void readPeaks(pa_stream* stream);

    pa_stream* stream_ = nullptr;
    std::string monitor_;
    std::atomic<std::int32_t> peak_{0};
};

}  // namespace pelkora
