#include "pulse/MonitorRecorder.h"

#include <pulse/error.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace pelkora::test {
namespace {

constexpr pa_sample_spec kSpec{PA_SAMPLE_FLOAT32NE, MonitorRecorder::kRate,
                               MonitorRecorder::kChannels};
constexpr std::size_t kFrameBytes = sizeof(float) * MonitorRecorder::kChannels;

class MainloopLock {
  public:
    explicit MainloopLock(pa_threaded_mainloop* mainloop) : mainloop_(mainloop) {
        pa_threaded_mainloop_lock(mainloop_);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(mainloop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

  private:
    pa_threaded_mainloop* mainloop_;
};

}  // namespace

MonitorRecorder::MonitorRecorder(std::string source, std::chrono::milliseconds fragment)
    : source_(std::move(source)),
      fragmentFrames_(static_cast<std::uint32_t>(kRate / 1000 * fragment.count())) {
    mainloop_ = pa_threaded_mainloop_new();
    if (mainloop_ == nullptr || pa_threaded_mainloop_start(mainloop_) < 0) {
        throw std::runtime_error("cannot start a libpulse main loop");
    }
}

MonitorRecorder::~MonitorRecorder() {
    release();
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

double MonitorRecorder::nowSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string MonitorRecorder::start(std::chrono::milliseconds timeout) {
    {
        MainloopLock lock(mainloop_);
        context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Pelkora test recorder");
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (streamReady()) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    MainloopLock lock(mainloop_);
    // The states tell a server that never answered from a source that sent nothing.
    const int contextState = static_cast<int>(pa_context_get_state(context_));
    const int streamState =
        stream_ != nullptr ? static_cast<int>(pa_stream_get_state(stream_)) : -1;
    return std::string("the monitor recorder did not start: ") +
           pa_strerror(pa_context_errno(context_)) + " (context state " +
           std::to_string(contextState) + ", stream state " + std::to_string(streamState) +
           (dated_ ? ", frames arrived)" : ", no frames arrived)");
}

// Polled rather than signalled: starting is not what the recorder times.
bool MonitorRecorder::streamReady() {
    MainloopLock lock(mainloop_);
    if (stream_ == nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY) {
        stream_ = pa_stream_new(context_, "monitor", &kSpec, nullptr);
        pa_stream_set_read_callback(stream_, &MonitorRecorder::streamReadable, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = fragmentFrames_ * static_cast<std::uint32_t>(kFrameBytes);
        pa_stream_connect_record(stream_, source_.c_str(), &attr, PA_STREAM_ADJUST_LATENCY);
    }
    return stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY && dated_;
}

void MonitorRecorder::streamReadable(pa_stream* stream, std::size_t, void* userdata) {
    static_cast<MonitorRecorder*>(userdata)->readBlocks(stream);
}

void MonitorRecorder::readBlocks(pa_stream* stream) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        const double arrival = nowSeconds();
        const auto firstFrame = static_cast<std::int64_t>(recording_.levels.size());
        const double offset = arrival - static_cast<double>(firstFrame) / kRate;
        recording_.firstFrameSeconds =
            dated_ ? std::min(recording_.firstFrameSeconds, offset) : offset;
        dated_ = true;
        recording_.rate = kRate;
        const std::size_t frames = bytes / kFrameBytes;
        const auto* samples = static_cast<const float*>(data);  // nullptr: a hole, silence
        for (std::size_t frame = 0; frame < frames; ++frame) {
            float level = 0.0f;
            for (std::size_t channel = 0; samples != nullptr && channel < kChannels; ++channel) {
                level = std::max(level, std::fabs(samples[frame * kChannels + channel]));
            }
            recording_.levels.push_back(level);
        }
        pa_stream_drop(stream);
    }
}

MonitorRecorder::Recording MonitorRecorder::snapshot() const {
    MainloopLock lock(mainloop_);
    return recording_;
}

void MonitorRecorder::release() {
    MainloopLock lock(mainloop_);
    if (stream_ != nullptr) {
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
}

}  // namespace pelkora::test
