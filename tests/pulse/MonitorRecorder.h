#pragma once

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace pelkora::test {

// Records a source of the sound server, by default the test server's null-sink
// monitor, and dates every frame on CLOCK_MONOTONIC. Blocks of about a
// millisecond are stamped as they arrive; frame k played at S0 + k / rate,
// where S0 is the smallest (arrival - first frame of the block / rate) seen, the
// block that was least delayed on its way. The format is the test sink's own
// (48 kHz stereo), so nothing is resampled on the way.
// Threading: records on its own libpulse thread; the methods are called from
// one test thread.
class MonitorRecorder {
  public:
    struct Recording {
        int rate = 0;
        double firstFrameSeconds = 0;  // S0, CLOCK_MONOTONIC
        std::vector<float> levels;     // per frame: the largest magnitude of its channels

        double timeOf(std::int64_t frame) const {
            return firstFrameSeconds + static_cast<double>(frame) / rate;
        }
    };

    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;

    // A fragment longer than the default millisecond leaves the sink's cycle to
    // the streams under test, as on a desktop where nothing asks for low
    // latency; frames are then dated late by up to a fragment, so only
    // distances within one recording stay exact.
    explicit MonitorRecorder(std::string source = "pelkora_null.monitor",
                             std::chrono::milliseconds fragment = std::chrono::milliseconds(1));
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    // Connects and waits until frames arrive; empty on success, else why not.
    std::string start(std::chrono::milliseconds timeout = std::chrono::seconds(3));
    Recording snapshot() const;

    static double nowSeconds();

  private:
    static void streamReadable(pa_stream* stream, std::size_t bytes, void* userdata);
    void readBlocks(pa_stream* stream);
    bool streamReady();
    void release();

    std::string source_;
    std::uint32_t fragmentFrames_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    // Under the main loop lock.
    Recording recording_;
    bool dated_ = false;
};

}  // namespace pelkora::test
