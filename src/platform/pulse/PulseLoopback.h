#pragma once

#include <pulse/context.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

#include <string>

#include "platform/pulse/PulseMixerState.h"

namespace pelkora {

// The microphone path: what the source records is played into the sink, by a
// record stream and a playback stream of the keyer's own (no server module is
// loaded, so nothing of it outlives the keyer). Muted, both streams are
// closed: no sound of the microphone reaches the sink. Its volume is the
// playback stream's.
// Threading: on the libpulse thread or under the main loop lock.
class PulseLoopback {
  public:
    static constexpr const char* kPlaybackName = "Pelkora microphone";
    // Little delay for a voice that goes on air, without the server running
    // dry on a busy machine; added to the source's own block when it has one.
    static constexpr std::uint32_t kLatencyMs = 40;

    // Where the path goes and how loud.
    struct Route {
        std::string source;
        std::string sink;
        pa_sample_spec spec{};  // the source's
        pa_channel_map map{};
        PulseStreamLevel level;
    };

    PulseLoopback() = default;
    ~PulseLoopback();
    PulseLoopback(const PulseLoopback&) = delete;
    PulseLoopback& operator=(const PulseLoopback&) = delete;

    // Opens, closes or re-levels the path as route says.
    void apply(pa_context* context, const Route& route);
    // Both streams closed.
    void stop() noexcept;
    bool isOpen() const { return playback_ != nullptr; }

  private:
    static void readable(pa_stream* stream, std::size_t bytes, void* userdata);
    static void stateChanged(pa_stream* stream, void* userdata);
    void open(pa_context* context);
    void connectPlayback();
    void ready(pa_stream* stream);
    void setVolume();
    void pass(pa_stream* record);
    static void release(pa_stream*& stream) noexcept;

    pa_stream* record_ = nullptr;
    pa_stream* playback_ = nullptr;
    Route route_;
};

}  // namespace pelkora
