#include "platform/pulse/PulseLoopback.h"

#include <pulse/introspect.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <algorithm>

namespace pelkora {
namespace {

constexpr const char* kRecordName = "Pelkora microphone input";

pa_usec_t latency() {
    return pa_usec_t{PulseLoopback::kLatencyMs} * PA_USEC_PER_MSEC;
}

bool sameSpec(const pa_sample_spec& one, const pa_sample_spec& other) {
    return pa_sample_spec_equal(&one, &other) != 0;
}

// A level never set is full volume.
pa_cvolume volumeFor(const PulseLoopback::Route& route) {
    pa_cvolume volume = route.level.volume;
    if (volume.channels != route.spec.channels) {
        pa_cvolume_reset(&volume, route.spec.channels);
    }
    return volume;
}

}  // namespace

PulseLoopback::~PulseLoopback() {
    stop();
}

void PulseLoopback::apply(pa_context* context, const Route& route) {
    const bool wanted = !route.level.mute && !route.source.empty() && !route.sink.empty() &&
                        pa_sample_spec_valid(&route.spec) != 0;
    const bool same = isOpen() && pa_stream_get_context(playback_) == context &&
                      route.source == route_.source && route.sink == route_.sink &&
                      sameSpec(route.spec, route_.spec);
    route_ = route;
    if (!wanted) {
        stop();
    } else if (same) {
        setVolume();
    } else {
        stop();
        open(context);
    }
}

void PulseLoopback::open(pa_context* context) {
    const pa_channel_map* map =
        pa_channel_map_valid(&route_.map) != 0 && route_.map.channels == route_.spec.channels
            ? &route_.map
            : nullptr;
    record_ = pa_stream_new(context, kRecordName, &route_.spec, map);
    playback_ = pa_stream_new(context, kPlaybackName, &route_.spec, map);
    if (record_ == nullptr || playback_ == nullptr) {
        stop();
        return;
    }
    pa_stream_set_state_callback(record_, &PulseLoopback::stateChanged, this);
    pa_stream_set_state_callback(playback_, &PulseLoopback::stateChanged, this);
    pa_stream_set_read_callback(record_, &PulseLoopback::readable, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(latency() / 2, &route_.spec));
    if (pa_stream_connect_record(record_, route_.source.c_str(), &attr, PA_STREAM_ADJUST_LATENCY) <
        0) {
        stop();
    }
}

// A source of fixed latency (a network or virtual source, or one without
// timer scheduling) hands over a whole block at a time, however small a
// fragment was asked for; the server says how large once the record stream
// is ready. The playback buffer holds one such block besides its own
// latency: a smaller one would take a few milliseconds of each block and drop
// the rest. It starts playing after half a block, so that a block arriving a
// little late finds the sink still busy with the one before.
void PulseLoopback::connectPlayback() {
    const pa_buffer_attr* recorded = pa_stream_get_buffer_attr(record_);
    const std::uint32_t ownLatency =
        static_cast<std::uint32_t>(pa_usec_to_bytes(latency(), &route_.spec));
    const std::uint32_t block =
        recorded != nullptr && recorded->fragsize != static_cast<std::uint32_t>(-1)
            ? recorded->fragsize
            : ownLatency / 2;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = block + ownLatency;
    attr.prebuf = std::max(block / 2, ownLatency);
    attr.minreq = static_cast<std::uint32_t>(-1);
    const pa_cvolume volume = volumeFor(route_);
    if (pa_stream_connect_playback(playback_, route_.sink.c_str(), &attr, PA_STREAM_ADJUST_LATENCY,
                                   &volume, nullptr) < 0) {
        stop();
    }
}

void PulseLoopback::setVolume() {
    if (playback_ == nullptr || pa_stream_get_state(playback_) != PA_STREAM_READY) {
        return;  // it connects with the volume of route_
    }
    const pa_cvolume volume = volumeFor(route_);
    pa_operation* operation =
        pa_context_set_sink_input_volume(pa_stream_get_context(playback_),
                                         pa_stream_get_index(playback_), &volume, nullptr, nullptr);
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

void PulseLoopback::stop() noexcept {
    release(record_);
    release(playback_);
}

void PulseLoopback::release(pa_stream*& stream) noexcept {
    if (stream == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
}

// Half a path is no path: when either stream fails, both close. The next
// change of the route (the operator, or the server coming back) opens it again.
void PulseLoopback::stateChanged(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseLoopback*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        self->stop();
    } else if (state == PA_STREAM_READY) {
        self->ready(stream);
    }
}

// The playback stream waits for the record stream's block size. A level set
// while it connected went nowhere (setVolume() needs it ready): it is sent now.
void PulseLoopback::ready(pa_stream* stream) {
    if (stream == record_ && playback_ != nullptr &&
        pa_stream_get_state(playback_) == PA_STREAM_UNCONNECTED) {
        connectPlayback();
    } else if (stream == playback_) {
        setVolume();
    }
}

void PulseLoopback::readable(pa_stream* stream, std::size_t, void* userdata) {
    static_cast<PulseLoopback*>(userdata)->pass(stream);
}

// What the playback stream cannot take yet (its buffer holds one of the
// source's blocks and a little more) is dropped rather than queued: a voice
// that lags behind the operator is worse than a gap.
void PulseLoopback::pass(pa_stream* record) {
    while (pa_stream_readable_size(record) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(record, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        if (data != nullptr && playback_ != nullptr &&
            pa_stream_get_state(playback_) == PA_STREAM_READY) {
            const std::size_t writable = pa_stream_writable_size(playback_);
            const std::size_t frame = pa_frame_size(&route_.spec);
            const std::size_t taken = std::min(bytes, writable) / frame * frame;
            if (taken > 0) {
                pa_stream_write(playback_, data, taken, nullptr, 0, PA_SEEK_RELATIVE);
            }
        }
        pa_stream_drop(record);
    }
}

}  // namespace pelkora
