#pragma once

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/subscribe.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/LoopPoster.h"
#include "platform/MixerLayer.h"
#include "platform/pulse/GuardedPoster.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/pulse/PulseLoopback.h"
#include "platform/pulse/PulseMixerState.h"
#include "platform/pulse/PulsePeakMeter.h"
#include "platform/pulse/PulseSoundOutput.h"

namespace pelkora {

// The station's mixer on the PulseAudio server (PipeWire's pulse server
// serves it too): one device, present when the server answered at
// construction. Its lines are laid out by PulseMixerState.
//
// What the server holds is mirrored here from introspection and kept current
// by the server's change events, on the libpulse thread; every call answers
// from that mirror, so none waits on the server. Writes go out at once
// without waiting for the server's answer: true means sent. The keyer's own
// stream ("Wave") and the microphone path keep their levels, applied to each
// stream as it opens. The server's events for streams are not asked for:
// PipeWire's pulse server (0.3.65) then left new record streams of the same
// client unconnected, the meter's among them. Changes the server reports reach the listener of
// the open device, posted to the loop. The peak meter reads the sink's
// monitor through a peak-detecting stream, opened when the meter is first read.
//
// Threading: the MixerLayer calls on the loop thread only. libpulse's thread
// fills the mirror under mutex_; the loop thread never holds mutex_ while it
// takes the main loop lock.
class PulseMixerLayer : public MixerLayer {
  public:
    // How long construction waits for the first look at the server's devices.
    static constexpr std::chrono::milliseconds kFirstLookWait{1000};

    // sinkName and sourceName empty: the server's defaults, followed as they
    // change. wave, when given, is the keyer's sound output, on the same
    // connection, whose stream the Wave line sets.
    PulseMixerLayer(LoopPoster& poster, PulseConnection& connection, std::string sinkName = {},
                    std::string sourceName = {}, PulseSoundOutput* wave = nullptr);
    ~PulseMixerLayer() override;
    PulseMixerLayer(const PulseMixerLayer&) = delete;
    PulseMixerLayer& operator=(const PulseMixerLayer&) = delete;

    int deviceCount() const override { return present_ ? 1 : 0; }
    bool open(int device, MixerChangeListener& listener) override;
    void close(int device) override;
    std::optional<MixerCaps> capabilities(int device) const override;
    std::optional<MixerLine> destinationLine(int device, std::uint32_t destination) const override;
    std::optional<MixerLine> sourceLine(int device, std::uint32_t destination,
                                        std::uint32_t source) const override;
    std::optional<std::vector<MixerControl>> lineControls(int device, std::uint32_t lineId,
                                                          std::uint32_t count) const override;
    std::optional<MixerControl> controlOfType(int device, std::uint32_t lineId,
                                              std::uint32_t controlType) const override;
    bool readValues(int device, const ControlRequest& request,
                    std::span<std::int32_t> values) const override;
    bool writeValues(int device, const ControlRequest& request,
                     std::span<const std::int32_t> values) override;

  private:
    // libpulse thread (or the loop thread holding the main loop lock).
    void onReady(pa_context* context);
    void onLost();
    static void eventArrived(pa_context* context, pa_subscription_event_type_t type,
                             std::uint32_t index, void* userdata);
    static void serverInfoArrived(pa_context* context, const pa_server_info* info, void* userdata);
    static void sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                void* userdata);
    static void sourceInfoArrived(pa_context* context, const pa_source_info* info, int eol,
                                  void* userdata);
    void onEvent(pa_context* context, pa_subscription_event_type_t type);
    void onServer(pa_context* context, const pa_server_info* info);
    void onSinkMissing(pa_context* context);
    void onSourceMissing(pa_context* context);
    void lookUpDevices(pa_context* context);
    void onSink(pa_context* context, const pa_sink_info* info);
    void onSource(pa_context* context, const pa_source_info* info);
    void sendWave();
    void routeMicrophone(pa_context* context);
    void startMeter() const;
    void track(pa_operation* operation);
    void cancelQueries() noexcept;
    void settle() noexcept;
    bool send(pa_context* context, const PulseWrite& change);
    void tellControl(std::uint32_t controlId) noexcept;
    void tellLine(std::uint32_t lineId) noexcept;

    // Loop thread.
    bool exists(int device) const { return present_ && device == 0; }

    PulseConnection& connection_;
    GuardedPoster poster_;
    const std::string sinkSetting_;
    const std::string sourceSetting_;
    PulseSoundOutput* const wave_;
    PulseConnection::SubscriptionId subscription_ = 0;

    // libpulse thread, or under the main loop lock.
    std::string sinkName_;  // in use: the setting, or the server's default
    std::string sourceName_;
    std::vector<pa_operation*> queries_;  // answers still to come, cancelled with this
    // Started by the first read of the meter: a program that never shows the
    // level (the command-line player) has no stream on the sink's monitor.
    mutable PulsePeakMeter meter_;
    mutable std::atomic<bool> meterWanted_{false};
    PulseLoopback loopback_;

    mutable std::mutex mutex_;
    std::condition_variable looked_;
    bool firstLook_ = false;  // under mutex_
    PulseMixerState state_;   // under mutex_

    // Loop thread.
    bool present_ = false;
    MixerChangeListener* listener_ = nullptr;
};

}  // namespace pelkora
