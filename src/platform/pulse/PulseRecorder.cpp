#include "platform/pulse/PulseRecorder.h"

#include <pulse/error.h>
#include <pulse/sample.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace pelkora {
namespace {

constexpr const char* kStreamName = "Pelkora recording";
constexpr std::int64_t kMicrosecondsPerSecond = 1000000;

bool fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
    return false;
}

std::int32_t scaledPeak(const float* samples, std::size_t count) {
    float loudest = 0;
    for (std::size_t index = 0; index < count; ++index) {
        loudest = std::max(loudest, std::fabs(samples[index]));
    }
    return static_cast<std::int32_t>(
        std::lround(std::min(loudest, 1.0f) * static_cast<float>(PulseRecorder::kMaximum)));
}

}  // namespace

PulseRecorder::PulseRecorder(LoopPoster& poster, PulseConnection& connection,
                             std::string sourceName, int rate)
    : connection_(connection), poster_(poster), sourceName_(std::move(sourceName)), rate_(rate) {}

PulseRecorder::~PulseRecorder() {
    closeStream();
}

bool PulseRecorder::start(const std::string& path, std::string* error) {
    if (recording_) {
        return fail(error, "a take is being recorded already");
    }
    if (!take_.open(path, rate_, error)) {
        return false;
    }
    ++takeId_;
    peak_.store(0, std::memory_order_relaxed);
    if (!connect(error)) {
        take_.discard();
        return false;
    }
    recording_ = true;
    startedAt_ = std::chrono::steady_clock::now();
    return true;
}

bool PulseRecorder::stop(std::string* error) {
    if (!recording_) {
        return fail(error, "no take is being recorded");
    }
    const auto held = std::chrono::steady_clock::now() - startedAt_;
    if (!collectLastBlocks()) {
        // The source went away before its news reached this thread: the take
        // has a hole where the operator spoke, so it is not kept.
        endTake();
        return fail(error, "recording from " + sourceLabel() +
                               " stopped before the end of the take; the take was dropped and "
                               "the earlier recording kept");
    }
    recording_ = false;
    return keepTake(held, error);
}

// What the server has delivered by now belongs to the take. False when the
// stream had failed.
bool PulseRecorder::collectLastBlocks() {
    PulseConnection::Lock lock(connection_);
    const bool intact = stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY;
    if (intact) {
        readBlocks(stream_);
    }
    releaseStream();
    return intact;
}

bool PulseRecorder::keepTake(std::chrono::steady_clock::duration held, std::string* error) {
    if (!writePending(error)) {
        return false;
    }
    // A source that renders ahead of time (a virtual or network source hands
    // over seconds at once) must not make the take longer than the key was
    // held. A sound card never delivers ahead, so this cuts nothing of it.
    const std::int64_t heldFrames =
        std::chrono::duration_cast<std::chrono::microseconds>(held).count() * rate_ /
        kMicrosecondsPerSecond;
    if (take_.frames() > heldFrames && !take_.truncate(heldFrames, error)) {
        return false;
    }
    if (take_.frames() == 0) {
        take_.discard();
        return fail(error, "nothing was recorded; the earlier recording is unchanged");
    }
    return take_.finish(error);
}

void PulseRecorder::cancel() {
    if (recording_) {
        endTake();
    }
}

std::string PulseRecorder::sourceLabel() const {
    return sourceName_.empty() ? "the default sound source" : "the sound source " + sourceName_;
}

// Waits for the server's answer, so that a source it does not have is told
// at the press of the key, not as a take that ends at once.
bool PulseRecorder::connect(std::string* error) {
    {
        std::lock_guard opening(openingMutex_);
        opening_ = Opening::Waiting;
        openingFailure_.clear();
    }
    {
        PulseConnection::Lock lock(connection_);
        pa_context* context = connection_.readyContext();
        if (context == nullptr) {
            return fail(error, "cannot record: the sound server is not running");
        }
        if (!openStream(context)) {
            const std::string reason = pa_strerror(pa_context_errno(context));
            releaseStream();
            return fail(error, "cannot record from " + sourceLabel() + ": " + reason);
        }
    }
    std::unique_lock opening(openingMutex_);
    const bool settled = openingChanged_.wait_for(opening, kStartWait,
                                                  [this] { return opening_ != Opening::Waiting; });
    if (settled && opening_ == Opening::Ready) {
        return true;
    }
    const std::string reason = settled ? openingFailure_ : "the sound server did not answer";
    opening.unlock();
    closeStream();
    return fail(error, "cannot record from " + sourceLabel() + ": " + reason);
}

bool PulseRecorder::openStream(pa_context* context) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(rate_), 1};
    stream_ = pa_stream_new(context, kStreamName, &spec, nullptr);
    if (stream_ == nullptr) {
        return false;
    }
    streamTake_ = takeId_;
    pa_stream_set_state_callback(stream_, &PulseRecorder::stateChanged, this);
    pa_stream_set_read_callback(stream_, &PulseRecorder::readable, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(kFragment.count()) * PA_USEC_PER_MSEC, &spec));
    // Never moved: a take that went on from a microphone the operator did not
    // choose would be worse than one that ends.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    return pa_stream_connect_record(stream_, sourceName_.empty() ? nullptr : sourceName_.c_str(),
                                    &attr, flags) >= 0;
}

void PulseRecorder::closeStream() {
    PulseConnection::Lock lock(connection_);
    releaseStream();
}

void PulseRecorder::releaseStream() noexcept {
    if (stream_ == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY || state == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

// Nothing may unwind into libpulse. What can throw here is memory running
// short while a block is kept or posted: that block is lost, and the take
// goes on, as a take with a gap is still the operator's to keep or redo.
void PulseRecorder::readable(pa_stream* stream, std::size_t, void* userdata) {
    try {
        static_cast<PulseRecorder*>(userdata)->readBlocks(stream);
    } catch (...) {
        pa_stream_drop(stream);
    }
}

void PulseRecorder::stateChanged(pa_stream* stream, void* userdata) {
    try {
        static_cast<PulseRecorder*>(userdata)->onStreamState(stream);
    } catch (...) {
        // Only a reason that could not be built; the take ends when it stops.
    }
}

void PulseRecorder::readBlocks(pa_stream* stream) {
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        // A hole is silence: the take keeps its length and its timing.
        keepBlock(static_cast<const float*>(data), bytes / sizeof(float));
        pa_stream_drop(stream);
    }
}

void PulseRecorder::keepBlock(const float* samples, std::size_t count) {
    std::int32_t blockPeak = 0;
    bool drainWanted = false;
    {
        std::lock_guard blocks(blocksMutex_);
        const std::size_t at = pending_.size();
        pending_.resize(at + count, 0.0f);
        if (samples != nullptr) {
            std::memcpy(pending_.data() + at, samples, count * sizeof(float));
            blockPeak = scaledPeak(pending_.data() + at, count);
        }
        drainWanted = !std::exchange(drainPosted_, true);
    }
    std::int32_t known = peak_.load(std::memory_order_relaxed);
    while (blockPeak > known &&
           !peak_.compare_exchange_weak(known, blockPeak, std::memory_order_relaxed)) {
    }
    if (!drainWanted) {
        return;  // one is on its way already
    }
    try {
        poster_.post([this, takeId = streamTake_] { drain(takeId); });
    } catch (...) {
        std::lock_guard blocks(blocksMutex_);
        drainPosted_ = false;  // the next block tries again
    }
}

void PulseRecorder::onStreamState(pa_stream* stream) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) {
        settle(Opening::Ready, {});
        return;
    }
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED) {
        return;
    }
    const std::string reason = pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
    if (settle(Opening::Failed, reason)) {
        return;  // start() tells it
    }
    const std::string why = "recording from " + sourceLabel() + " stopped (" + reason +
                            "); the take was dropped and the earlier recording kept";
    poster_.post([this, takeId = streamTake_, why] { abandon(takeId, why); });
}

bool PulseRecorder::settle(Opening opening, const std::string& reason) {
    std::lock_guard lock(openingMutex_);
    if (opening_ != Opening::Waiting) {
        return false;
    }
    opening_ = opening;
    openingFailure_ = reason;
    openingChanged_.notify_all();
    return true;
}

void PulseRecorder::drain(std::uint64_t takeId) {
    if (takeId != takeId_ || !recording_) {
        return;  // the take ended; stop() wrote what was left
    }
    std::string error;
    if (!writePending(&error)) {
        abandon(takeId,
                "the take could not be written: " + error + "; the earlier recording is unchanged");
        return;
    }
    if (take_.frames() >= kLongestTakeSeconds * rate_) {
        const bool kept = stop(&error);
        if (onTakeEnded) {
            onTakeEnded(kept ? "the take reached " + std::to_string(kLongestTakeSeconds / 60) +
                                   " minutes, the longest message the keyer plays, and was kept"
                             : error);
        }
    }
}

bool PulseRecorder::writePending(std::string* error) {
    std::vector<float> blocks;
    {
        std::lock_guard lock(blocksMutex_);
        blocks.swap(pending_);
        drainPosted_ = false;
    }
    return blocks.empty() ||
           take_.write(blocks.data(), static_cast<std::int64_t>(blocks.size()), error);
}

void PulseRecorder::abandon(std::uint64_t takeId, const std::string& why) {
    if (takeId != takeId_ || !recording_) {
        return;
    }
    endTake();
    if (onTakeEnded) {
        onTakeEnded(why);
    }
}

void PulseRecorder::endTake() noexcept {
    closeStream();
    recording_ = false;
    take_.discard();
    std::lock_guard lock(blocksMutex_);
    pending_.clear();
    drainPosted_ = false;
}

}  // namespace pelkora
