#include "platform/pulse/PulsePeakMeter.h"

#include <pulse/sample.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pelkora {
namespace {

constexpr const char* kStreamName = "Pelkora level meter";

}  // namespace

PulsePeakMeter::~PulsePeakMeter() {
    stop();
}

void PulsePeakMeter::follow(pa_context* context, const std::string& monitor) {
    if (stream_ != nullptr && monitor == monitor_ && pa_stream_get_context(stream_) == context) {
        return;
    }
    stop();
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, kPeakRate, 1};
    stream_ = pa_stream_new(context, kStreamName, &spec, nullptr);
    if (stream_ == nullptr) {
        return;
    }
    monitor_ = monitor;
    pa_stream_set_read_callback(stream_, &PulsePeakMeter::readable, this);
    pa_stream_set_state_callback(stream_, &PulsePeakMeter::stateChanged, this);
    // One peak per fragment, so that each read brings the newest one.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = sizeof(float);
    // The meter alone must not keep an idle sink from suspending.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY |
                                       PA_STREAM_DONT_MOVE | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
    if (pa_stream_connect_record(stream_, monitor.c_str(), &attr, flags) < 0) {
        stop();
    }
}

void PulsePeakMeter::stop() noexcept {
    peak_.store(0, std::memory_order_relaxed);
    if (stream_ == nullptr) {
        return;
    }
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
    monitor_.clear();
}

void PulsePeakMeter::readable(pa_stream* stream, std::size_t, void* userdata) {
    static_cast<PulsePeakMeter*>(userdata)->readPeaks(stream);
}

// A sink that went away takes its monitor along: the level is silence.
void PulsePeakMeter::stateChanged(pa_stream* stream, void* userdata) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        static_cast<PulsePeakMeter*>(userdata)->peak_.store(0, std::memory_order_relaxed);
    }
}

void PulsePeakMeter::readPeaks(pa_stream* stream) {
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0) {
            return;
        }
        if (bytes == 0) {
            return;  // nothing to drop
        }
        // A hole (data nullptr) holds no peak; the last whole float is the newest one.
        if (data != nullptr && bytes >= sizeof(float)) {
            float newest = 0;
            std::memcpy(
                &newest,
                static_cast<const char*>(data) + bytes - bytes % sizeof(float) - sizeof(float),
                sizeof(float));
            newest = std::fabs(newest);
            const float scaled = std::min(newest, 1.0f) * static_cast<float>(kMaximum);
            peak_.store(static_cast<std::int32_t>(std::lround(scaled)), std::memory_order_relaxed);
        }
        pa_stream_drop(stream);
    }
}

}  // namespace pelkora
