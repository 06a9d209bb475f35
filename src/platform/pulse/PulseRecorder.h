#pragma once

#include <pulse/context.h>
#include <pulse/stream.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/LoopPoster.h"
#include "platform/pulse/GuardedPoster.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/sndfile/TakeWriter.h"

namespace pelkora {

// Records a take of a voice message from the station's sound source into a
// TakeWriter: mono float samples at the take's rate, converted by the server.
// Blocks arrive on the libpulse thread, wait in a queue of their own and are
// written on the loop thread, so no file I/O holds up the server. A running
// peak feeds a level bar. The take ends with stop(), which puts the file in
// place, or by itself when the source or the server goes away or the file
// cannot be written: the take is then dropped, the earlier recording stays,
// and onTakeEnded says why. Recording never keys the transmitter.
// Threading: called on the loop thread only; onTakeEnded runs there too
// (posted). readPeak() from any thread.
class PulseRecorder {
  public:
    using Hook = std::function<void(const std::string& why)>;

    static constexpr int kDefaultRate = 16000;
    static constexpr std::int32_t kMaximum = 32767;
    // How much audio the server hands over at a time, as a level bar wants it.
    static constexpr std::chrono::milliseconds kFragment{10};
    static constexpr std::chrono::milliseconds kStartWait{2000};
    // The player refuses longer files: a longer take would never be heard.
    static constexpr std::int64_t kLongestTakeSeconds = 30 * 60;

    // Set right after construction; read when its posted task runs.
    Hook onTakeEnded;

    // sourceName empty: the server's default source.
    PulseRecorder(LoopPoster& poster, PulseConnection& connection, std::string sourceName = {},
                  int rate = kDefaultRate);
    ~PulseRecorder();
    PulseRecorder(const PulseRecorder&) = delete;
    PulseRecorder& operator=(const PulseRecorder&) = delete;

    // Starts a take that will replace path once stopped. False, with the
    // reason and nothing changed, while a take runs, when the file cannot be
    // started, without a server, or when the source cannot be recorded.
    bool start(const std::string& path, std::string* error);
    // Ends the take and puts it in place (the file replaced becomes its undo
    // copy). False, with the reason, when no take runs, nothing was recorded
    // or the file could not be finished; the earlier recording then stays.
    bool stop(std::string* error);
    // Drops the take; the earlier recording stays.
    void cancel();

    bool isRecording() const { return recording_; }
    // Frames written so far.
    std::int64_t frames() const { return take_.frames(); }
    // The loudest sample since the last read, 0..kMaximum.
    std::int32_t readPeak() { return peak_.exchange(0, std::memory_order_relaxed); }

  private:
    enum class Opening { Waiting, Ready, Failed };

    // libpulse thread, or under the main loop lock.
    static void readable(pa_stream* stream, std::size_t bytes, void* userdata);
    static void stateChanged(pa_stream* stream, void* userdata);
    bool openStream(pa_context* context);
    void readBlocks(pa_stream* stream);
    void keepBlock(const float* samples, std::size_t count);
    void onStreamState(pa_stream* stream);
    void releaseStream() noexcept;
    // False when start() had its answer already.
    bool settle(Opening opening, const std::string& reason);

    // Loop thread.
    std::string sourceLabel() const;
    bool connect(std::string* error);
    void closeStream();
    bool collectLastBlocks();
    bool keepTake(std::chrono::steady_clock::duration held, std::string* error);
    void drain(std::uint64_t takeId);
    bool writePending(std::string* error);
    void abandon(std::uint64_t takeId, const std::string& why);
    void endTake() noexcept;

    PulseConnection& connection_;
    GuardedPoster poster_;
    const std::string sourceName_;
    const int rate_;

    // libpulse thread, or under the main loop lock.
    pa_stream* stream_ = nullptr;
    std::uint64_t streamTake_ = 0;

    std::mutex openingMutex_;
    std::condition_variable openingChanged_;
    Opening opening_ = Opening::Waiting;  // under openingMutex_
    std::string openingFailure_;          // under openingMutex_

    // Taken after the main loop lock where both are held, never before it.
    std::mutex blocksMutex_;
    std::vector<float> pending_;  // under blocksMutex_
    bool drainPosted_ = false;    // under blocksMutex_
    std::atomic<std::int32_t> peak_{0};

    // Loop thread.
    TakeWriter take_;
    bool recording_ = false;
    std::uint64_t takeId_ = 0;
    std::chrono::steady_clock::time_point startedAt_;
};

}  // namespace pelkora
