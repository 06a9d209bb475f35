#include "platform/pulse/PulseSoundOutput.h"

#include <pulse/channelmap.h>
#include <pulse/error.h>
#include <pulse/sample.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <utility>

namespace pelkora {
namespace {

constexpr std::size_t kSampleBytes = sizeof(float);
constexpr const char* kClientName = "Pelkora";
constexpr const char* kStreamName = "Pelkora voice message";

pa_sample_spec specOf(const DecodedSound& sound) {
    return pa_sample_spec{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(sound.rate),
                          static_cast<std::uint8_t>(sound.channels)};
}

bool serverCanCarry(const DecodedSound& sound) {
    if (sound.channels > static_cast<int>(PA_CHANNELS_MAX) ||
        sound.rate > static_cast<int>(PA_RATE_MAX)) {
        return false;
    }
    const pa_sample_spec spec = specOf(sound);
    return pa_sample_spec_valid(&spec) != 0;
}

void dropOperation(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

std::string contextError(pa_stream* stream) {
    return pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
}

}  // namespace

PulseSoundOutput::PulseSoundOutput(LoopPoster& poster, std::string sinkName)
    : poster_(poster), sinkName_(std::move(sinkName)) {
    connection_ = std::make_unique<PulseConnection>(
        kClientName,
        [this](pa_context* context, bool recovered) { onServerReady(context, recovered); },
        [this](const std::string& reason) { onServerGone(reason); }, kConnectWait);
}

PulseSoundOutput::~PulseSoundOutput() {
    {
        PulseConnection::Lock lock(*connection_);
        cutSound();
        releaseStream();
    }
    connection_.reset();
}

PlayStart PulseSoundOutput::play(const std::string& path, FinishedCallback onFinished) {
    stop();
    std::optional<DecodedSound> decoded = DecodedSound::load(path, kLongestFileSeconds);
    if (!decoded) {
        return PlayStart::refused("not a readable sound file");
    }
    if (!serverCanCarry(*decoded)) {
        return PlayStart::refused("the sound server cannot play " +
                                  std::to_string(decoded->channels) + " channels at " +
                                  std::to_string(decoded->rate) + " Hz");
    }
    const std::uint64_t id = ++lastSoundId_;
    {
        PulseConnection::Lock lock(*connection_);
        if (!startSound(std::move(*decoded), id)) {
            return PlayStart::refused("Sound server not available");
        }
    }
    playing_ = true;
    pendingFinished_ = std::move(onFinished);
    return PlayStart::ok();
}

void PulseSoundOutput::stop() {
    if (!playing_) {
        return;
    }
    playing_ = false;
    pendingFinished_ = nullptr;
    PulseConnection::Lock lock(*connection_);
    cutSound();
}

bool PulseSoundOutput::serverAvailable() const {
    PulseConnection::Lock lock(*connection_);
    return connection_->readyContext() != nullptr;
}

void PulseSoundOutput::onServerReady(pa_context* context, bool recovered) {
    if (recovered) {
        const char* server = pa_context_get_server(context);
        postHook(&PulseSoundOutput::onServerBack, server != nullptr ? server : "");
    }
}

void PulseSoundOutput::onServerGone(const std::string& reason) {
    postHook(&PulseSoundOutput::onServerLost, reason);
    endSound();
    releaseStream();
}

bool PulseSoundOutput::startSound(DecodedSound decoded, std::uint64_t id) {
    pa_context* context = connection_->readyContext();
    if (context == nullptr) {
        return false;
    }
    if (!streamFits(context, decoded)) {
        releaseStream();
        stream_ = openStream(context, decoded);
        if (stream_ == nullptr) {
            return false;
        }
    }
    sound_.emplace(Sound{id, std::move(decoded), 0, nullptr});
    // A new stream asks for its data once it is ready; an idle one has asked already.
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
        writeSome(firstWriteBytes());
    }
    return true;
}

bool PulseSoundOutput::streamFits(pa_context* context, const DecodedSound& decoded) const {
    if (stream_ == nullptr || pa_stream_get_context(stream_) != context) {
        return false;
    }
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    const pa_sample_spec* spec = pa_stream_get_sample_spec(stream_);
    return (state == PA_STREAM_READY || state == PA_STREAM_CREATING) &&
           spec->rate == static_cast<std::uint32_t>(decoded.rate) &&
           spec->channels == decoded.channels;
}

pa_stream* PulseSoundOutput::openStream(pa_context* context, const DecodedSound& decoded) {
    const pa_sample_spec spec = specOf(decoded);
    pa_channel_map map{};
    pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
    pa_stream* stream = pa_stream_new(context, kStreamName, &spec, &map);
    if (stream == nullptr) {
        return nullptr;
    }
    pa_stream_set_state_callback(stream, &PulseSoundOutput::streamStateChanged, this);
    pa_stream_set_write_callback(stream, &PulseSoundOutput::streamWritable, this);
    const auto targetUsec = static_cast<pa_usec_t>(kTargetBuffer.count()) * PA_USEC_PER_MSEC;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(targetUsec, &spec));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
    const char* sink = sinkName_.empty() ? nullptr : sinkName_.c_str();
    if (pa_stream_connect_playback(stream, sink, &attr, flags, nullptr, nullptr) < 0) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_unref(stream);
        return nullptr;
    }
    return stream;
}

void PulseSoundOutput::releaseStream() {
    if (stream_ == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

// At least one target buffer: after a flush the server's request for more can
// still be on its way, and the first samples must not wait for it.
std::size_t PulseSoundOutput::firstWriteBytes() const {
    const std::size_t writable = pa_stream_writable_size(stream_);
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream_);
    const std::size_t target = attr != nullptr ? attr->tlength : 0;
    if (writable == static_cast<std::size_t>(-1)) {
        return target;
    }
    return std::max(writable, target);
}

void PulseSoundOutput::writeSome(std::size_t bytes) {
    if (!sound_ || sound_->drain != nullptr) {
        return;
    }
    const auto channels = static_cast<std::size_t>(sound_->decoded.channels);
    const std::vector<float>& samples = sound_->decoded.samples;
    const std::size_t wholeFrames = bytes / (kSampleBytes * channels);
    const std::size_t count = std::min(wholeFrames * channels, samples.size() - sound_->written);
    if (count > 0) {
        if (pa_stream_write(stream_, samples.data() + sound_->written, count * kSampleBytes,
                            nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return;  // the stream is failing; its state callback ends the sound
        }
        sound_->written += count;
    }
    if (sound_->written == samples.size()) {
        // The drain is acknowledged once the sink has rendered the last sample.
        sound_->drain = pa_stream_drain(stream_, &PulseSoundOutput::streamDrained, this);
    }
}

void PulseSoundOutput::streamWritable(pa_stream* stream, std::size_t bytes, void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    if (stream == self->stream_) {
        self->writeSome(bytes);
    }
}

void PulseSoundOutput::streamDrained(pa_stream* stream, int, void* userdata) {
    // A failed drain means the stream is going away: the sound is over as well.
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    if (stream != self->stream_ || !self->sound_ || self->sound_->drain == nullptr) {
        return;
    }
    // Completing: released here, not cancelled.
    pa_operation_unref(self->sound_->drain);
    self->sound_->drain = nullptr;
    self->endSound();
}

void PulseSoundOutput::streamStateChanged(pa_stream* stream, void* userdata) {
    static_cast<PulseSoundOutput*>(userdata)->onStreamState(stream);
}

void PulseSoundOutput::onStreamState(pa_stream* stream) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (stream != stream_ || (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED)) {
        return;
    }
    if (sound_) {
        postHook(&PulseSoundOutput::onPlaybackError, contextError(stream));
    }
    endSound();
    releaseStream();
}

// Cancelling the drain drops its acknowledgement, so the cut sound is never
// reported finished; the flush empties the server's buffer at once.
void PulseSoundOutput::cutSound() {
    if (!sound_) {
        return;
    }
    if (sound_->drain != nullptr) {
        pa_operation_cancel(sound_->drain);
        pa_operation_unref(sound_->drain);
    }
    if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        dropOperation(pa_stream_flush(stream_, nullptr, nullptr));
    }
    sound_.reset();
}

void PulseSoundOutput::endSound() {
    if (!sound_) {
        return;
    }
    if (sound_->drain != nullptr) {
        pa_operation_cancel(sound_->drain);
        pa_operation_unref(sound_->drain);
    }
    const std::uint64_t id = sound_->id;
    sound_.reset();
    post([this, id] { deliverFinished(id); });
}

void PulseSoundOutput::post(std::function<void()> task) {
    poster_.post([alive = std::weak_ptr<bool>(alive_), task = std::move(task)] {
        if (alive.lock()) {
            task();
        }
    });
}

void PulseSoundOutput::postHook(Hook PulseSoundOutput::*hook, std::string detail) {
    post([this, hook, detail = std::move(detail)] {
        if (this->*hook) {
            (this->*hook)(detail);
        }
    });
}

void PulseSoundOutput::deliverFinished(std::uint64_t id) {
    if (!playing_ || id != lastSoundId_) {
        return;
    }
    playing_ = false;
    // Moved out first: the callback may well start the next file.
    FinishedCallback callback = std::move(pendingFinished_);
    pendingFinished_ = nullptr;
    if (callback) {
        callback();
    }
}

}  // namespace pelkora
