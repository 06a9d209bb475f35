#pragma once

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/volume.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/LoopPoster.h"
#include "platform/SoundOutput.h"
#include "platform/pulse/GuardedPoster.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/sndfile/SoundStream.h"

namespace pelkora {

// Plays sound files on the PulseAudio server (PipeWire's pulse server serves it
// too). Each file plays at its own rate and channel count as float samples;
// the server resamples. The file is decoded as the server asks for data, one
// block at a time, so memory does not grow with a file's length. The stream
// stays open, drained and idle, between files, so the next file of the same
// format starts without a round trip to set one up; a file of another format
// opens a new stream.
//
// onFinished is posted when the server reports the stream drained: the sink
// has rendered the last sample. When the server dies mid-file, onServerLost is
// posted and then the file's onFinished is still delivered, so the engine
// learns the sound is over; while no server is connected play() refuses. A
// stream the server fails after play() accepted the file (a missing sink, a
// format it will not take) posts onPlaybackError and then onFinished, unless
// it failed before the file's first block went in: such a stream is opened
// again, once, kReopenDelay later, and the file plays from its start with
// nothing posted. A named sink the server does not have is that error on
// PulseAudio and on PipeWire alike, although PipeWire would play on its
// default sink instead; it is never opened again. A file kept for a follower
// plays out on the same stream while the follower's first block goes right
// after its last sample (on PulseAudio over the silence written for the
// resampler; on PipeWire, where that silence and the drain wait, before it).
// No exception leaves play() or a libpulse callback: the sound is refused or
// ended instead, so the transmitter is never held for a sound that stopped.
//
// It lives on a connection shared with the station's other sound-server
// clients, or on one of its own.
//
// Threading: called only on the loop thread. libpulse runs its own thread;
// every callback and hook reaches the loop thread through the LoopPoster.
class PulseSoundOutput : public SoundOutput {
  public:
    using Hook = std::function<void(const std::string& detail)>;

    // What the server shows as the name of the keyer's stream.
    static constexpr const char* kStreamName = "Pelkora voice message";
    static constexpr std::int64_t kLongestFileSeconds = 30 * 60;
    static constexpr std::chrono::milliseconds kConnectWait{2000};
    // The stream's target buffer: deep enough that a busy machine does not let
    // the server run dry mid-file (30 ms did, under load); stop() flushes it, so
    // it costs no reaction time, and a file starts as soon as its first block is in.
    static constexpr std::chrono::milliseconds kTargetBuffer{100};
    // How much the server asks for at a time, which is also the cycle the sink
    // runs at. PipeWire sizes its graph cycle (the quantum) from this: with the
    // latency PulseAudio clients usually ask for, a desktop where nothing else
    // plays ran 1024-frame cycles, and the two cycles from a drain report to
    // the next file's first sample came to ~50 ms of silence between files.
    // At 10 ms PipeWire runs 256-frame cycles (its pulse server allows no
    // fewer), PulseAudio's sink wakes every 10 ms.
    static constexpr std::chrono::milliseconds kRequestBlock{10};
    // Silence written after the last sample of a file the server resamples.
    // A server drains a stream while its resampler still holds the last
    // samples, which are then never heard: about 1 ms of an 8 kHz file on
    // PulseAudio, 2.6 ms on PipeWire's pulse server. The silence pushes them
    // out; onFinished comes this much later for such files, and never for a
    // file at the sink's rate. On PipeWire two of its 256-frame cycles (5.3 ms
    // at 48 kHz).
    static constexpr std::chrono::milliseconds kResamplerFlush{3};
    static constexpr std::chrono::milliseconds kPipeWireResamplerFlush{11};
    // A kept sound is followed on its stream only while at least this much of
    // it is still queued: less could be read before the follower's first block
    // arrives, which would then land behind the server's read position.
    static constexpr std::chrono::microseconds kFollowMargin{1000};
    // PipeWire's pulse server ends a draining stream at the first cycle that
    // finds less than a cycle's data, and a sound followed after its drain had
    // gone out lost the end of its last syllable there. So on PipeWire the
    // silence and the drain wait until this long before the last sample is
    // read by the stream's clock (which lags what that server has read by up
    // to 11 ms), and a sound is followed only before then: the follower goes
    // right after the last sample, on a stream that never drained.
    static constexpr std::chrono::milliseconds kPipeWireDrainLead{15};
    // On PipeWire a file's entry ends only 4-13 ms (by the stream's clock)
    // before its last sample is read, too late for the above: the engine is
    // asked to offer the follower this much sooner.
    static constexpr std::chrono::milliseconds kPipeWireHandOverLead{25};
    // How soon a finish that could not be posted (memory short) is posted again.
    static constexpr std::chrono::milliseconds kPostRetry{20};
    // How soon a stream the server failed before the file's first block went
    // in is opened again, once. PipeWire fails a new stream ("Input/Output
    // error") that its session manager handles before it has chosen a default
    // sink: right after the server starts, or while the default sink changes.
    // The choice follows within a millisecond or two.
    static constexpr std::chrono::milliseconds kReopenDelay{10};

    // Set right after construction; each is read when its posted task runs.
    Hook onServerLost;     // server gone or not found, once per loss; detail says why
    Hook onServerBack;     // connected again after a loss; detail names the server
    Hook onPlaybackError;  // a stream failed while the server stayed

    // sinkName empty: the server's default sink. Waits at most kConnectWait for
    // the server; without one it keeps retrying. Throws std::runtime_error only
    // when libpulse cannot start its thread.
    explicit PulseSoundOutput(LoopPoster& poster, std::string sinkName = {});
    // On a shared connection, which must outlive it.
    PulseSoundOutput(LoopPoster& poster, PulseConnection& connection, std::string sinkName = {});
    ~PulseSoundOutput() override;
    PulseSoundOutput(const PulseSoundOutput&) = delete;
    PulseSoundOutput& operator=(const PulseSoundOutput&) = delete;

    // Refused, with the reason and nothing posted, for a file libsndfile cannot
    // decode, one with no audio or over kLongestFileSeconds, one the server
    // cannot carry (over PA_CHANNELS_MAX channels or PA_RATE_MAX Hz), when the
    // server will not open a stream, and while no server is connected.
    PlayStart play(const std::string& path, FinishedCallback onFinished) override;
    void stop() override;
    bool isPlaying() const override { return playing_; }
    // True once the whole file is on the server and only its drain is left,
    // when nextPath can go on the same stream. isPlaying() stays true until
    // the kept sound has played out, and stop() cuts it.
    bool keepForFollower(const std::string& nextPath) override;
    std::int64_t handOverLeadMs() const override;
    // Right after the kept sound while enough of it is still queued; else
    // the kept sound's remainder is cut and the file starts as play() does.
    PlayStart playFollowing(const std::string& path, FinishedCallback onFinished) override;

    bool serverAvailable() const;

    // The level of the keyer's sound (the mixer's "Wave" line), for every
    // block written from now on (the server holds up to kTargetBuffer already).
    // volume is on the channels of map; channels 0 is full volume.
    // Threading: any thread holding the connection's lock (the mixer does).
    void setStreamLevel(const pa_cvolume& volume, const pa_channel_map& map, bool mute);

  private:
    PulseSoundOutput(LoopPoster& poster, std::unique_ptr<PulseConnection> own,
                     std::string sinkName);

    // Where a file's first block goes.
    struct Placement {
        pa_seek_mode_t seek = PA_SEEK_RELATIVE_ON_READ;
        std::int64_t offset = 0;
    };

    // The file being handed to the server. libpulse thread, under the lock.
    struct Sound {
        std::uint64_t id = 0;
        std::unique_ptr<SoundStream> file;
        bool placed = false;  // its first block is written
        bool fileDone = false;
        bool tailWritten = false;
        bool reopened = false;  // its stream failed once already
        pa_operation* drain = nullptr;
        pa_time_event* drainDue = nullptr;    // PipeWire: when the waiting drain goes out
        pa_operation* timingQuery = nullptr;  // PipeWire: asked to time the drain
        bool timingAsked = false;
        std::size_t tailBytes = 0;  // silence written after its last sample
        Placement first;
    };

    static void streamStateChanged(pa_stream* stream, void* userdata);
    static void streamWritable(pa_stream* stream, std::size_t bytes, void* userdata);
    static void streamDrained(pa_stream* stream, int success, void* userdata);
    static void streamMoved(pa_stream* stream, void* userdata);
    static void sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                void* userdata);
    static void postRetryFired(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                               void* userdata);
    static void reopenFired(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                            void* userdata);
    static void drainDueFired(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                              void* userdata);
    static void timingArrived(pa_stream* stream, int success, void* userdata);
    template <typename Body>
    void guarded(Body&& body) noexcept;

    // Loop thread.
    PlayStart guardedStart(const std::string& path, FinishedCallback& onFinished, bool follow);
    PlayStart start(const std::string& path, FinishedCallback& onFinished, bool follow);

    // libpulse thread, or the loop thread holding the lock.
    void onServerReady(pa_context* context, bool recovered);
    void onServerGone(const std::string& reason);
    void onStreamState(pa_stream* stream);
    bool onChosenSink(pa_stream* stream) const;
    std::string missingSinkMessage() const;
    void failStream(const std::string& why);
    bool reopenLater();
    void reopenStream();
    void cancelReopen() noexcept;
    PlayStart startSound(std::unique_ptr<SoundStream> file, std::uint64_t id, bool follow);
    std::optional<Placement> followPlacement(pa_context* context, const SoundStream& file) const;
    std::optional<pa_usec_t> queuedUsec() const;
    bool streamFits(pa_context* context, const SoundStream& file) const;
    pa_stream* openStream(pa_context* context, const SoundStream& file);
    bool levelGains(int channels, std::span<float> gains) const;
    void applyLevel(float* samples, std::size_t frames, int channels) const;
    void releaseStream();
    void askSinkRate();
    static void serverInfoArrived(pa_context* context, const pa_server_info* info, void* userdata);
    std::size_t firstWriteBytes() const;
    void writeSome(std::size_t bytes);
    std::size_t writeFromFile(std::size_t frames);
    void writeTail();
    bool deferDrain();
    void startDrain();
    void dropPendingDrain() noexcept;
    void cutSound() noexcept;
    void endSound() noexcept;
    void abandonSound() noexcept;
    void sendFinished(std::uint64_t id) noexcept;

    void subscribe();
    static void replaceOperation(pa_operation*& slot, pa_operation* next) noexcept;

    // Posting, from any thread.
    void post(std::function<void()> task);
    void postHook(Hook PulseSoundOutput::*hook, const std::string& detail) noexcept;

    // Loop thread.
    void deliverFinished(std::uint64_t id);

    // First: destroyed last, once nothing of this output is on it any more.
    std::unique_ptr<PulseConnection> ownConnection_;
    PulseConnection& connection_;
    PulseConnection::SubscriptionId subscription_ = 0;
    // No posted task runs after destruction.
    GuardedPoster poster_;
    const std::string sinkName_;
    // Queries whose answers call back into this output: cancelled with it.
    pa_operation* serverInfoQuery_ = nullptr;
    pa_operation* sinkInfoQuery_ = nullptr;

    pa_stream* stream_ = nullptr;
    std::uint32_t sinkRate_ = 0;         // of the stream's sink; 0 while not known
    std::atomic<bool> pipeWire_ = true;  // the server is PipeWire, or not known yet
    std::optional<Sound> sound_;
    std::uint64_t undeliveredFinish_ = 0;
    pa_time_event* postRetry_ = nullptr;
    pa_time_event* reopen_ = nullptr;  // armed while a failed stream waits to be opened again

    // The kept stream level; under the lock.
    pa_cvolume levelVolume_{};
    pa_channel_map levelMap_{};
    bool levelMute_ = false;

    bool playing_ = false;
    std::uint64_t lastSoundId_ = 0;
    FinishedCallback pendingFinished_;
};

}  // namespace pelkora
