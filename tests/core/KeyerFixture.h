#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/keyer/KeyerEngine.h"
#include "core/ptt/PttPort.h"
#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/FakeSoundOutput.h"
#include "platform/fake/FakeWavProbe.h"
#include "platform/fake/MemoryDiagnosticLog.h"
#include "platform/fake/MemoryProfileStore.h"
#include "platform/fake/RecordingMessageBus.h"
#include "platform/fake/VirtualScheduler.h"
#include "platform/posix/SerialPttDeviceFactory.h"

namespace pelkora::test {

// Writes what the engine reports as "<ms> <event> [<argument>]" lines, the
// same shape the command-line player prints, so that expectations read like
// a timeline.
class EventRecorder : public KeyerObserver {
  public:
    explicit EventRecorder(const Scheduler& clock) : clock_(clock) {}

    void onTransmit(bool keyed) override { add(keyed ? "ptt on" : "ptt off"); }
    void onBroadcast(int code) override { add("broadcast " + std::to_string(code)); }
    void onPlayFile(const std::string& path) override { add("play " + path); }
    void onSkipFile(const std::string& path, const std::string&) override { add("skip " + path); }
    void onPause(std::int64_t ms) override { add("pause " + std::to_string(ms)); }
    void onBeaconRepetition(int n) override { add("beacon " + std::to_string(n)); }
    void onSoundLost(const std::string& detail) override { add("sound lost " + detail); }
    void onTransmitTimeout(std::int64_t s) override { add("timeout " + std::to_string(s)); }
    void onError(const std::string& message) override {
        add("error " + message);
        errors.push_back(message);
        if (afterError) {
            afterError();
        }
    }

    std::vector<std::string> events;
    std::vector<std::string> errors;
    // Runs inside onError, as a front end's nested event loop (a modal box
    // opened there) would let the operator's actions in.
    std::function<void()> afterError;

    // Only the events whose text starts with one of the prefixes.
    std::vector<std::string> only(std::initializer_list<const char*> prefixes) const;

  private:
    void add(const std::string& what) {
        events.push_back(std::to_string(clock_.nowMs()) + " " + what);
    }
    const Scheduler& clock_;
};

// A keyer engine on fakes in virtual time. Sound files live in "snd/" and
// play exactly as long as their header says minus the 44-byte header.
class KeyerFixture : public ::testing::Test {
  protected:
    KeyerFixture();

    // A 16-bit 8 kHz mono file (16000 bytes/s) of the given audio length.
    void addFile(const std::string& name, std::int64_t audioMs);
    void run() { scheduler.runUntilIdle(10'000'000); }
    void advance(std::int64_t ms) { scheduler.advanceBy(ms); }
    std::vector<std::string> played() const;  // "<ms> play <name>" without "snd/"

    VirtualScheduler scheduler;
    FakeSoundOutput sound{scheduler};
    FakeWavProbe probe;
    RecordingMessageBus bus;
    MemoryProfileStore profiles;
    MemoryDiagnosticLog log;
    FakeSerialLines lines;
    EventRecorder recorder{scheduler};
    SerialPttDeviceFactory devices{lines};
    PttPort ptt{devices, [this](const std::string& m) { recorder.onError(m); }};
    KeyerEngine engine{KeyerServices{scheduler, sound, probe, bus, profiles, log, ptt, recorder}};
};

}  // namespace pelkora::test
