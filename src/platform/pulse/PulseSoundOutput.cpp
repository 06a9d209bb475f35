#include "platform/pulse/PulseSoundOutput.h"

#include <pulse/channelmap.h>
#include <pulse/error.h>
#include <pulse/sample.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <utility>

namespace pelkora {
namespace {

constexpr std::size_t kSampleBytes = sizeof(float);
constexpr const char* kClientName = "Pelkora";

pa_sample_spec specOf(const SoundStream& file) {
    return pa_sample_spec{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(file.rate()),
                          static_cast<std::uint8_t>(file.channels())};
}

// Empty when the server can carry the file's format, otherwise why not.
std::string formatRefusal(const SoundStream& file) {
    if (file.channels() > static_cast<int>(PA_CHANNELS_MAX)) {
        return "the sound server cannot play " + std::to_string(file.channels()) +
               " channels (at most " + std::to_string(PA_CHANNELS_MAX) + ")";
    }
    if (file.rate() > static_cast<int>(PA_RATE_MAX)) {
        return "the sound server cannot play " + std::to_string(file.rate()) + " Hz (at most " +
               std::to_string(PA_RATE_MAX) + " Hz)";
    }
    const pa_sample_spec spec = specOf(file);
    if (pa_sample_spec_valid(&spec) == 0) {
        return "the sound server cannot play " + std::to_string(file.channels()) + " channels at " +
               std::to_string(file.rate()) + " Hz";
    }
    return {};
}

// What play() says when something threw; "out of memory" needs no allocation.
PlayStart refusalFor(const std::exception_ptr& error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return PlayStart::refused("out of memory");
    } catch (const std::exception& other) {
        try {
            return PlayStart::refused(std::string("cannot play the file: ") + other.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return PlayStart::refused("out of memory");
}

void dropOperation(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

std::string contextError(pa_context* context) {
    return pa_strerror(pa_context_errno(context));
}

}  // namespace

// Every callback from libpulse runs its work through here: an exception must
// not unwind into libpulse's C code, and a sound whose handling failed is
// ended, so that the engine releases the transmitter.
template <typename Body>
void PulseSoundOutput::guarded(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        abandonSound();
    }
}

PulseSoundOutput::PulseSoundOutput(LoopPoster& poster, std::string sinkName)
    : PulseSoundOutput(poster, std::make_unique<PulseConnection>(kClientName, kConnectWait),
                       std::move(sinkName)) {}

PulseSoundOutput::PulseSoundOutput(LoopPoster& poster, std::unique_ptr<PulseConnection> own,
                                   std::string sinkName)
    : ownConnection_(std::move(own)),
      connection_(*ownConnection_),
      poster_(poster),
      sinkName_(std::move(sinkName)) {
    subscribe();
}

PulseSoundOutput::PulseSoundOutput(LoopPoster& poster, PulseConnection& connection,
                                   std::string sinkName)
    : connection_(connection), poster_(poster), sinkName_(std::move(sinkName)) {
    subscribe();
}

// Last in construction: the connection may call the handlers at once.
void PulseSoundOutput::subscribe() {
    subscription_ = connection_.subscribe(
        [this](pa_context* context, bool recovered) {
            guarded([&] { onServerReady(context, recovered); });
        },
        [this](const std::string& reason) { guarded([&] { onServerGone(reason); }); });
}

// Off the connection first, so that no handler starts anything new; then
// nothing may call back into this output: not the stream, not a timer, not a
// query still on its way.
PulseSoundOutput::~PulseSoundOutput() {
    connection_.unsubscribe(subscription_);
    PulseConnection::Lock lock(connection_);
    cutSound();
    releaseStream();
    if (postRetry_ != nullptr) {
        connection_.api()->time_free(postRetry_);
        postRetry_ = nullptr;
    }
    replaceOperation(serverInfoQuery_, nullptr);
    replaceOperation(sinkInfoQuery_, nullptr);
}

void PulseSoundOutput::replaceOperation(pa_operation*& slot, pa_operation* next) noexcept {
    if (slot != nullptr) {
        pa_operation_cancel(slot);
        pa_operation_unref(slot);
    }
    slot = next;
}

PlayStart PulseSoundOutput::play(const std::string& path, FinishedCallback onFinished) {
    stop();
    return guardedStart(path, onFinished, false);
}

PlayStart PulseSoundOutput::playFollowing(const std::string& path, FinishedCallback onFinished) {
    return guardedStart(path, onFinished, true);
}

PlayStart PulseSoundOutput::guardedStart(const std::string& path, FinishedCallback& onFinished,
                                         bool follow) {
    try {
        return start(path, onFinished, follow);
    } catch (...) {
        // Nothing the failed start left behind may sound or be reported later.
        playing_ = false;
        pendingFinished_ = nullptr;
        PulseConnection::Lock lock(connection_);
        cutSound();
        return refusalFor(std::current_exception());
    }
}

PlayStart PulseSoundOutput::start(const std::string& path, FinishedCallback& onFinished,
                                  bool follow) {
    std::string why;
    std::unique_ptr<SoundStream> file = SoundStream::open(path, kLongestFileSeconds, &why);
    if (!file) {
        return PlayStart::refused(why);
    }
    why = formatRefusal(*file);
    if (!why.empty()) {
        return PlayStart::refused(why);
    }
    // Taken only once the file has started: a refused follower leaves the
    // kept sound's own end to be delivered.
    const std::uint64_t id = lastSoundId_ + 1;
    {
        PulseConnection::Lock lock(connection_);
        PlayStart started = startSound(std::move(file), id, follow);
        if (!started) {
            playing_ = playing_ && sound_.has_value();
            return started;
        }
    }
    lastSoundId_ = id;
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
    PulseConnection::Lock lock(connection_);
    cutSound();
}

std::int64_t PulseSoundOutput::handOverLeadMs() const {
    return pipeWire_ ? kPipeWireHandOverLead.count() : 0;
}

bool PulseSoundOutput::keepForFollower(const std::string& nextPath) {
    if (!playing_) {
        return false;
    }
    const std::unique_ptr<SoundStream> next =
        SoundStream::open(nextPath, kLongestFileSeconds, nullptr);
    if (!next || !formatRefusal(*next).empty()) {
        return false;
    }
    PulseConnection::Lock lock(connection_);
    pa_context* context = connection_.readyContext();
    if (context == nullptr || !followPlacement(context, *next)) {
        return false;
    }
    // Its drain report now ends nothing: the follower's takes its place, or,
    // when none comes, the report only marks the output idle.
    pendingFinished_ = nullptr;
    return true;
}

// Where a follower's first block goes, when the sound playing can be
// followed at all: its whole file is on the server, its drain pending, on a
// stream that can carry the follower, and enough of it is still queued that
// the follower is in before the server has read everything.
//
// The follower goes right after the last sample, back over as much of the
// resampler's silence as the sink has not taken yet (the follower pushes the
// resampler's last samples out itself), short of kFollowMargin. When only
// that silence is left it starts where the server reads next, as a new
// sound does. PulseAudio has the sink render again what it had taken of
// data written over.
//
// On PipeWire a sound is followed only while its drain still waits (see
// kPipeWireDrainLead), right after its last sample: that server reads
// further ahead than it reports, so nothing is ever written over there.
std::optional<PulseSoundOutput::Placement> PulseSoundOutput::followPlacement(
    pa_context* context, const SoundStream& file) const {
    if (!sound_ || !sound_->fileDone || pa_stream_get_state(stream_) != PA_STREAM_READY ||
        !streamFits(context, file)) {
        return std::nullopt;
    }
    const std::optional<pa_usec_t> queued = queuedUsec();
    const auto margin = static_cast<pa_usec_t>(kFollowMargin.count());
    if (!queued) {
        return std::nullopt;
    }
    if (sound_->drainDue != nullptr) {
        const auto lead = static_cast<pa_usec_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(kPipeWireDrainLead).count());
        if (*queued <= lead + margin) {
            return std::nullopt;
        }
        return Placement{PA_SEEK_RELATIVE, 0};
    }
    if (sound_->drain == nullptr || pipeWire_) {
        return std::nullopt;
    }
    const pa_sample_spec* spec = pa_stream_get_sample_spec(stream_);
    const pa_usec_t tail = pa_bytes_to_usec(sound_->tailBytes, spec);
    if (*queued + margin <= tail) {
        return Placement{PA_SEEK_RELATIVE_ON_READ, 0};
    }
    if (*queued <= margin) {
        return std::nullopt;  // the server could read past the end before the follower is in
    }
    const std::size_t back = std::min(sound_->tailBytes, pa_usec_to_bytes(*queued - margin, spec));
    return Placement{PA_SEEK_RELATIVE, -static_cast<std::int64_t>(back)};
}

// How much of what was written the sink has not taken yet, by the stream's
// interpolated clock; nothing when the stream cannot tell or has run dry.
std::optional<pa_usec_t> PulseSoundOutput::queuedUsec() const {
    pa_usec_t unheard = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &unheard, &negative) < 0 || negative != 0) {
        return std::nullopt;
    }
    // What the sink has taken already cannot be written over.
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (timing == nullptr) {
        return std::nullopt;
    }
    const pa_usec_t taken = timing->sink_usec + timing->transport_usec;
    return unheard > taken ? unheard - taken : 0;
}

bool PulseSoundOutput::serverAvailable() const {
    PulseConnection::Lock lock(connection_);
    return connection_.readyContext() != nullptr;
}

void PulseSoundOutput::onServerReady(pa_context* context, bool recovered) {
    // The longer padding until the server has said what it is: losing a
    // tail is worse than a few milliseconds more between two files.
    pipeWire_ = true;
    replaceOperation(serverInfoQuery_, pa_context_get_server_info(
                                           context, &PulseSoundOutput::serverInfoArrived, this));
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

PlayStart PulseSoundOutput::startSound(std::unique_ptr<SoundStream> file, std::uint64_t id,
                                       bool follow) {
    pa_context* context = connection_.readyContext();
    if (context == nullptr) {
        return PlayStart::refused("Sound server not available");
    }
    const std::optional<Placement> placement =
        follow ? followPlacement(context, *file) : std::nullopt;
    if (placement) {
        // The kept sound plays on; only its drain, which the follower's
        // replaces, is dropped.
        dropPendingDrain();
    } else {
        cutSound();
    }
    if (!streamFits(context, *file)) {
        releaseStream();
        stream_ = openStream(context, *file);
        if (stream_ == nullptr) {
            return PlayStart::refused("the sound server refused the stream: " +
                                      contextError(context));
        }
    }
    sound_.emplace(
        Sound{.id = id, .file = std::move(file), .first = placement.value_or(Placement{})});
    // A new stream asks for its data once it is ready; an idle one has asked already.
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
        writeSome(firstWriteBytes());
    }
    return PlayStart::ok();
}

bool PulseSoundOutput::streamFits(pa_context* context, const SoundStream& file) const {
    if (stream_ == nullptr || pa_stream_get_context(stream_) != context) {
        return false;
    }
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    const pa_sample_spec* spec = pa_stream_get_sample_spec(stream_);
    return (state == PA_STREAM_READY || state == PA_STREAM_CREATING) &&
           spec->rate == static_cast<std::uint32_t>(file.rate()) &&
           spec->channels == file.channels();
}

pa_stream* PulseSoundOutput::openStream(pa_context* context, const SoundStream& file) {
    const pa_sample_spec spec = specOf(file);
    pa_channel_map map{};
    pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
    pa_stream* stream = pa_stream_new(context, kStreamName, &spec, &map);
    if (stream == nullptr) {
        return nullptr;
    }
    pa_stream_set_state_callback(stream, &PulseSoundOutput::streamStateChanged, this);
    pa_stream_set_write_callback(stream, &PulseSoundOutput::streamWritable, this);
    pa_stream_set_moved_callback(stream, &PulseSoundOutput::streamMoved, this);
    // The target buffer is bounded by the format the server accepts: at most
    // PA_RATE_MAX Hz of PA_CHANNELS_MAX floats, 4.9 MB for 100 ms.
    const auto targetUsec = static_cast<pa_usec_t>(kTargetBuffer.count()) * PA_USEC_PER_MSEC;
    const auto requestUsec = static_cast<pa_usec_t>(kRequestBlock.count()) * PA_USEC_PER_MSEC;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(targetUsec, &spec));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(requestUsec, &spec));
    attr.fragsize = static_cast<std::uint32_t>(-1);
    // Early requests: the sink runs at kRequestBlock while the stream keeps the
    // whole target buffer (adjusted latency would ask for a third of it).
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_EARLY_REQUESTS | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
    const char* sink = sinkName_.empty() ? nullptr : sinkName_.c_str();
    sinkRate_ = 0;
    if (pa_stream_connect_playback(stream, sink, &attr, flags, nullptr, nullptr) < 0) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_moved_callback(stream, nullptr, nullptr);
        pa_stream_unref(stream);
        return nullptr;
    }
    return stream;
}

void PulseSoundOutput::setStreamLevel(const pa_cvolume& volume, const pa_channel_map& map,
                                      bool mute) {
    levelVolume_ = volume;
    levelMap_ = map;
    levelMute_ = mute;
}

// The kept level as a gain per channel of a file, on the server's scale
// (cubic); false when it leaves the samples as they are.
bool PulseSoundOutput::levelGains(int channels, std::span<float> gains) const {
    if (!levelMute_ && levelVolume_.channels == 0) {
        return false;
    }
    pa_channel_map fileMap{};
    pa_channel_map_init_extend(&fileMap, static_cast<unsigned>(channels), PA_CHANNEL_MAP_DEFAULT);
    pa_cvolume volume = levelVolume_;
    if (volume.channels == 0) {
        pa_cvolume_reset(&volume, fileMap.channels);
    } else if (pa_channel_map_valid(&levelMap_) != 0 &&
               pa_cvolume_compatible_with_channel_map(&volume, &levelMap_) != 0) {
        pa_cvolume_remap(&volume, &levelMap_, &fileMap);
    } else {
        pa_cvolume_set(&volume, fileMap.channels, pa_cvolume_max(&levelVolume_));
    }
    for (std::size_t channel = 0; channel < gains.size(); ++channel) {
        gains[channel] =
            levelMute_ ? 0.0f
                       : static_cast<float>(pa_sw_volume_to_linear(
                             volume.values[std::min<std::size_t>(channel, volume.channels - 1U)]));
    }
    return true;
}

// In the samples, not on the server's stream: the level holds from the first
// block of every stream, and PipeWire's pulse server, asked to set a new
// stream's volume or mute, now and then left it silent.
void PulseSoundOutput::applyLevel(float* samples, std::size_t frames, int channels) const {
    std::array<float, PA_CHANNELS_MAX> gains{};
    const auto count = static_cast<std::size_t>(channels);
    if (count > gains.size() || !levelGains(channels, std::span<float>(gains.data(), count))) {
        return;
    }
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < count; ++channel) {
            samples[frame * count + channel] *= gains[channel];
        }
    }
}

void PulseSoundOutput::releaseStream() {
    if (stream_ == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_moved_callback(stream_, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
    sinkRate_ = 0;
}

// PipeWire's pulse server keeps more of a resampled stream's tail than
// PulseAudio does; padding for it everywhere would lengthen every gap.
void PulseSoundOutput::serverInfoArrived(pa_context*, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    if (info != nullptr && info->server_name != nullptr) {
        self->pipeWire_ =
            std::string_view(info->server_name).find("PipeWire") != std::string_view::npos;
    }
}

// Whether the server resamples decides whether a file needs kResamplerFlush.
void PulseSoundOutput::askSinkRate() {
    sinkRate_ = 0;
    replaceOperation(sinkInfoQuery_,
                     pa_context_get_sink_info_by_index(pa_stream_get_context(stream_),
                                                       pa_stream_get_device_index(stream_),
                                                       &PulseSoundOutput::sinkInfoArrived, this));
}

void PulseSoundOutput::sinkInfoArrived(pa_context*, const pa_sink_info* info, int eol,
                                       void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    if (eol == 0 && info != nullptr && self->stream_ != nullptr &&
        pa_stream_get_device_index(self->stream_) == info->index) {
        self->sinkRate_ = info->sample_spec.rate;
    }
}

void PulseSoundOutput::streamMoved(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    if (stream == self->stream_) {
        self->askSinkRate();
    }
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

// Decoding happens right here, on the libpulse thread under the main-loop
// lock, straight into the server's own buffers: memory stays at what the
// server asked for, with no second thread or ring to keep in step. A block is
// at most one request (a few tens of milliseconds of sound) and the server
// still holds kTargetBuffer, so a read from a local disk never starves it.
void PulseSoundOutput::writeSome(std::size_t bytes) {
    if (!sound_ || sound_->drain != nullptr || sound_->drainDue != nullptr ||
        sound_->timingQuery != nullptr) {
        return;
    }
    const std::size_t frameBytes =
        kSampleBytes * static_cast<std::size_t>(sound_->file->channels());
    std::size_t frames = bytes / frameBytes;
    while (frames > 0 && !sound_->fileDone) {
        const std::size_t written = writeFromFile(frames);
        if (written == 0) {
            break;
        }
        frames -= std::min(written, frames);
    }
    if (!sound_->fileDone || (pipeWire_ && deferDrain())) {
        return;
    }
    startDrain();
}

void PulseSoundOutput::startDrain() {
    if (!sound_->tailWritten) {
        sound_->tailWritten = true;
        writeTail();
    }
    // The drain is acknowledged once the sink has rendered the last sample.
    sound_->drain = pa_stream_drain(stream_, &PulseSoundOutput::streamDrained, this);
}

// Arms the drain for kPipeWireDrainLead before the last sample is read; false
// when that is too near to wait for. A stream that cannot tell yet (a file
// started on a stream that had drained) is asked first.
bool PulseSoundOutput::deferDrain() {
    const std::optional<pa_usec_t> queued = queuedUsec();
    if (!queued && !sound_->timingAsked) {
        sound_->timingAsked = true;
        sound_->timingQuery =
            pa_stream_update_timing_info(stream_, &PulseSoundOutput::timingArrived, this);
        return sound_->timingQuery != nullptr;
    }
    const auto lead = static_cast<pa_usec_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(kPipeWireDrainLead).count());
    if (!queued || *queued <= lead) {
        return false;
    }
    pa_mainloop_api* api = connection_.api();
    timeval due{};
    pa_gettimeofday(&due);
    pa_timeval_add(&due, *queued - lead);
    sound_->drainDue = api->time_new(api, &due, &PulseSoundOutput::drainDueFired, this);
    return sound_->drainDue != nullptr;
}

void PulseSoundOutput::timingArrived(pa_stream* stream, int, void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    if (stream != self->stream_ || !self->sound_ || self->sound_->timingQuery == nullptr) {
        return;
    }
    pa_operation_unref(self->sound_->timingQuery);
    self->sound_->timingQuery = nullptr;
    self->guarded([&] {
        if (!self->deferDrain()) {
            self->startDrain();
        }
    });
}

void PulseSoundOutput::drainDueFired(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                     void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    api->time_free(event);
    // Freed with its sound, so the sound is still the one it was armed for.
    self->sound_->drainDue = nullptr;
    self->guarded([&] { self->startDrain(); });
}

void PulseSoundOutput::dropPendingDrain() noexcept {
    replaceOperation(sound_->drain, nullptr);
    replaceOperation(sound_->timingQuery, nullptr);
    if (sound_->drainDue != nullptr) {
        connection_.api()->time_free(sound_->drainDue);
        sound_->drainDue = nullptr;
    }
}

// Writes up to frames frames of the file; returns how many. At the file's end
// (or where it cannot be read further) marks the file done.
std::size_t PulseSoundOutput::writeFromFile(std::size_t frames) {
    const std::size_t frameBytes =
        kSampleBytes * static_cast<std::size_t>(sound_->file->channels());
    void* buffer = nullptr;
    std::size_t size = frames * frameBytes;
    if (pa_stream_begin_write(stream_, &buffer, &size) < 0 || buffer == nullptr ||
        size < frameBytes) {
        return 0;  // the stream is failing; its state callback ends the sound
    }
    const auto wanted = static_cast<std::int64_t>(std::min(frames, size / frameBytes));
    const std::int64_t got = sound_->file->read(static_cast<float*>(buffer), wanted);
    if (got < wanted) {
        sound_->fileDone = true;
    }
    if (got <= 0) {
        pa_stream_cancel_write(stream_);
        return 0;
    }
    const auto gotFrames = static_cast<std::size_t>(got);
    applyLevel(static_cast<float*>(buffer), gotFrames, sound_->file->channels());
    // A file's first block goes where the server reads next, not after the
    // last one: PipeWire's pulse server ends a drain by reading a whole cycle
    // past the end of the data, and a block written after it would lose its
    // first milliseconds to that overshoot. PulseAudio reads no further than
    // the data, so there the two places are the same.
    // A follower's first block goes where followPlacement() put it.
    const Placement place = sound_->placed ? Placement{PA_SEEK_RELATIVE, 0} : sound_->first;
    if (pa_stream_write(stream_, buffer, gotFrames * frameBytes, nullptr, place.offset,
                        place.seek) < 0) {
        return 0;
    }
    sound_->placed = true;
    return gotFrames;
}

// Silence after the last sample, only where the server resamples (or its
// sink's rate is not known yet): see kResamplerFlush.
void PulseSoundOutput::writeTail() {
    const auto rate = static_cast<std::uint32_t>(sound_->file->rate());
    if (sinkRate_ == rate) {
        return;
    }
    const std::size_t frameBytes =
        kSampleBytes * static_cast<std::size_t>(sound_->file->channels());
    const auto frames =
        static_cast<std::size_t>(rate) *
        static_cast<std::size_t>((pipeWire_ ? kPipeWireResamplerFlush : kResamplerFlush).count()) /
        1000;
    std::size_t bytes = frames * frameBytes;
    while (bytes > 0) {
        void* buffer = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(stream_, &buffer, &size) < 0 || buffer == nullptr) {
            return;
        }
        size = std::min(size, bytes) / frameBytes * frameBytes;
        if (size == 0) {
            pa_stream_cancel_write(stream_);
            return;
        }
        std::memset(buffer, 0, size);  // all-zero bits are 0.0f
        if (pa_stream_write(stream_, buffer, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return;
        }
        sound_->tailBytes += size;
        bytes -= size;
    }
}

void PulseSoundOutput::streamWritable(pa_stream* stream, std::size_t bytes, void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    self->guarded([&] {
        if (stream == self->stream_) {
            self->writeSome(bytes);
        }
    });
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
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    self->guarded([&] { self->onStreamState(stream); });
}

void PulseSoundOutput::onStreamState(pa_stream* stream) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (stream != stream_) {
        return;
    }
    if (state == PA_STREAM_READY) {
        if (!onChosenSink(stream)) {
            failStream(missingSinkMessage());
            return;
        }
        askSinkRate();
        return;
    }
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED) {
        return;
    }
    pa_context* context = pa_stream_get_context(stream);
    const bool noSink = !sinkName_.empty() && pa_context_errno(context) == PA_ERR_NOENTITY;
    if (noSink) {
        failStream(missingSinkMessage());
    } else if (!reopenLater()) {
        failStream(contextError(context));
    }
}

// A stream that failed before the file's first block went in has played
// nothing: the file is still at its start, and a new stream can take it over.
// Only once, and only while the server is there: a server that fails it again
// means it.
bool PulseSoundOutput::reopenLater() {
    if (!sound_ || sound_->placed || sound_->reopened || connection_.readyContext() == nullptr) {
        return false;
    }
    sound_->reopened = true;
    releaseStream();
    pa_mainloop_api* api = connection_.api();
    timeval due{};
    pa_gettimeofday(&due);
    pa_timeval_add(&due, static_cast<pa_usec_t>(kReopenDelay.count()) * PA_USEC_PER_MSEC);
    reopen_ = api->time_new(api, &due, &PulseSoundOutput::reopenFired, this);
    return reopen_ != nullptr;
}

void PulseSoundOutput::reopenFired(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                   void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    api->time_free(event);
    self->reopen_ = nullptr;
    self->guarded([&] { self->reopenStream(); });
}

void PulseSoundOutput::reopenStream() {
    if (!sound_) {
        return;
    }
    pa_context* context = connection_.readyContext();
    if (context == nullptr) {
        failStream("Sound server not available");
        return;
    }
    stream_ = openStream(context, *sound_->file);
    if (stream_ == nullptr) {
        failStream("the sound server refused the stream: " + contextError(context));
    }
}

void PulseSoundOutput::cancelReopen() noexcept {
    if (reopen_ != nullptr) {
        connection_.api()->time_free(reopen_);
        reopen_ = nullptr;
    }
}

// PulseAudio fails a stream meant for a sink it does not have; PipeWire plays
// it on the default sink instead. The operator named that sink for a reason
// (the one wired to the transmitter), so both are the same error here.
bool PulseSoundOutput::onChosenSink(pa_stream* stream) const {
    if (sinkName_.empty()) {
        return true;
    }
    const char* device = pa_stream_get_device_name(stream);
    return device != nullptr && sinkName_ == device;
}

std::string PulseSoundOutput::missingSinkMessage() const {
    return "the sound server has no output named '" + sinkName_ + "'";
}

// The sound ends with its reason; the stream is given up, so that the next
// file opens a new one.
void PulseSoundOutput::failStream(const std::string& why) {
    if (sound_) {
        postHook(&PulseSoundOutput::onPlaybackError, why);
    }
    endSound();
    releaseStream();
}

// Cancelling the drain drops its acknowledgement, so the cut sound is never
// reported finished; the flush empties the server's buffer at once.
void PulseSoundOutput::cutSound() noexcept {
    cancelReopen();
    if (!sound_) {
        return;
    }
    dropPendingDrain();
    if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        dropOperation(pa_stream_flush(stream_, nullptr, nullptr));
    }
    sound_.reset();
}

void PulseSoundOutput::endSound() noexcept {
    cancelReopen();
    if (!sound_) {
        return;
    }
    dropPendingDrain();
    const std::uint64_t id = sound_->id;
    sound_.reset();
    sendFinished(id);
}

// The sound cannot go on: it is cut, and reported over as if it had failed.
void PulseSoundOutput::abandonSound() noexcept {
    if (!sound_) {
        return;
    }
    const std::uint64_t id = sound_->id;
    cutSound();
    postHook(&PulseSoundOutput::onPlaybackError, "out of memory");
    sendFinished(id);
}

// The finish is what releases the transmitter, so it is never dropped: when it
// cannot be posted now (memory short), a timer posts it again.
void PulseSoundOutput::sendFinished(std::uint64_t id) noexcept {
    try {
        post([this, id] { deliverFinished(id); });
        return;
    } catch (...) {
    }
    undeliveredFinish_ = id;
    if (postRetry_ != nullptr) {
        return;
    }
    pa_mainloop_api* api = connection_.api();
    timeval due{};
    pa_gettimeofday(&due);
    pa_timeval_add(&due, static_cast<pa_usec_t>(kPostRetry.count()) * PA_USEC_PER_MSEC);
    postRetry_ = api->time_new(api, &due, &PulseSoundOutput::postRetryFired, this);
}

void PulseSoundOutput::postRetryFired(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                      void* userdata) {
    auto* self = static_cast<PulseSoundOutput*>(userdata);
    api->time_free(event);
    self->postRetry_ = nullptr;
    const std::uint64_t id = std::exchange(self->undeliveredFinish_, 0);
    if (id != 0) {
        self->sendFinished(id);
    }
}

void PulseSoundOutput::post(std::function<void()> task) {
    poster_.post(std::move(task));
}

// A message lost for want of memory is not worth more than that: the finish
// that follows it is what the engine needs.
void PulseSoundOutput::postHook(Hook PulseSoundOutput::*hook, const std::string& detail) noexcept {
    try {
        post([this, hook, detail] {
            if (this->*hook) {
                (this->*hook)(detail);
            }
        });
    } catch (...) {
    }
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
