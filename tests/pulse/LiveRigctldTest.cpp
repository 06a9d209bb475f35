// pelkora-play ($PELKORA_PLAY) keying a real rigctld (Hamlib's dummy rig)
// while it plays live on the private sound server. The rig's PTT, as a second
// client polls it, is set against the player's events and against what the
// null sink's monitor recorded: the transmitter must be keyed before the first
// sample goes on air and stay keyed until the last one has.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hamlib/RigctldServer.h"
#include "pulse/MonitorRecorder.h"
#include "pulse/PrivateSoundServer.h"
#include "pulse/SoundServerSuite.h"
#include "pulse/RigPttWatch.h"
#include "pulse/SoundFiles.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"

namespace pelkora::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Samples = std::vector<RigPttWatch::Sample>;

// Half a second at one loud level, 8 kHz mono as a keyer's recordings are.
constexpr SoundFormat kVoice{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1};
constexpr std::int64_t kLoudFrames = 4000;
constexpr double kLoudMs = 500.0;
constexpr float kLoudLevel = 0.5f;
constexpr float kHeardLevel = 0.25f;  // a frame above this is the file on air

// Only orderings and lower bounds, each with room for a busy two-core machine;
// the figures themselves are printed.
constexpr double kEventSlackMs = 2.0;   // event times are whole milliseconds
constexpr double kWatchSlackMs = 60.0;  // poll period, a round trip, dating on the monitor
constexpr double kSmallGapMs = 150.0;   // without lead or tail: far below the 300/200 ms asked
constexpr double kTimeoutSlackMs = 100.0;
constexpr auto kRunTimeout = 20s;
constexpr auto kSettle = 150ms;  // the monitor's last blocks and the watch's last answers

struct Event {
    double ms = 0;
    std::string name;      // "ptt", "play", "timeout", ...
    std::string argument;  // "on", "loud.wav", "1", ...
};

std::vector<Event> parseEvents(const Lines& lines) {
    std::vector<Event> events;
    for (const std::string& line : lines) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) {
            continue;
        }
        const std::string rest = line.substr(space + 1);
        const std::size_t gap = rest.find(' ');
        events.push_back({std::stod(line.substr(0, space)), rest.substr(0, gap),
                          gap == std::string::npos ? "" : rest.substr(gap + 1)});
    }
    return events;
}

// The first event with this name (and argument, when given) at or after index from.
std::optional<std::size_t> findEvent(const std::vector<Event>& events, const std::string& name,
                                     const std::string& argument = "", std::size_t from = 0) {
    for (std::size_t index = from; index < events.size(); ++index) {
        if (events[index].name == name &&
            (argument.empty() || events[index].argument == argument)) {
            return index;
        }
    }
    return std::nullopt;
}

// The first and last frame at the loud level from frame `from` on, in CLOCK_MONOTONIC seconds.
struct OnAir {
    double first = 0;
    double last = 0;
    bool heard = false;
};

OnAir loudOnAir(const MonitorRecorder::Recording& recording, std::int64_t from) {
    OnAir onAir;
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    for (std::int64_t frame = from; frame < frames; ++frame) {
        if (recording.levels[static_cast<std::size_t>(frame)] < kHeardLevel) {
            continue;
        }
        onAir.last = recording.timeOf(frame + 1);
        if (!onAir.heard) {
            onAir.first = recording.timeOf(frame);
            onAir.heard = true;
        }
    }
    return onAir;
}

void report(const std::string& what, double ms) {
    std::cout << "[ measured ] " << what << ": " << ms << " ms\n";
}

struct PttTimes {
    int leadMs = 0;
    int tailMs = 0;
};

struct RigRun {
    ChildProcess::Result result;
    std::vector<Event> events;
    OnAir onAir;
    Samples ptt;
    double startedAt = 0;
    std::optional<bool> pttAfterwards;  // a fresh rigctl's reading once the player has gone
};

class LiveRigctld : public test::SoundServerSuite<LiveRigctld> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(setupError().empty()) << setupError();
        if (!RigctldServer::installed() || RigctldServer::findProgram("rigctl").empty()) {
            GTEST_SKIP() << "rigctld and rigctl are not installed (Debian: libhamlib-utils)";
        }
        const char* player = std::getenv("PELKORA_PLAY");
        ASSERT_TRUE(player != nullptr && *player != '\0')
            << "PELKORA_PLAY is not set: point it at the pelkora-play binary (ctest sets it)";
        player_ = std::filesystem::absolute(player).string();
        const std::string rigError = rig_.start();
        ASSERT_TRUE(rigError.empty()) << rigError;
        workDir_ =
            server()->dir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(workDir_ + "/snd");
        writeLevelFile(workDir_ + "/snd/loud.wav", kVoice, kLoudFrames, kLoudLevel);
        const std::string error = recorder_.start();
        ASSERT_TRUE(error.empty()) << error;
        std::this_thread::sleep_for(100ms);
    }

    // The player keying the rig with these timings (all kept in pelkora.ini, as
    // an operator's would be).
    std::unique_ptr<ChildProcess> startPlayer(const PttTimes& times, const std::string& macro,
                                              const Lines& more = {}) const {
        std::ofstream(workDir_ + "/pelkora.ini")
            << "[PTT]\nLeadMs=" << times.leadMs << "\nTailMs=" << times.tailMs << "\n";
        Lines args{"--sound-dir",
                   "snd",
                   "--events",
                   "--ini",
                   "pelkora.ini",
                   "--rigctld",
                   "localhost:" + std::to_string(rig_.port())};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(macro);
        return std::make_unique<ChildProcess>(
            player_, args, workDir_,
            Lines{"PULSE_SERVER=" + server()->address(), "HOME=" + workDir_,
                  "XDG_CONFIG_HOME=" + workDir_ + "/config"});
    }

    // Runs the player to its end with the rig's PTT watched throughout. A
    // signal, when given, goes to the player once the rig has keyed.
    RigRun playKeyed(const PttTimes& times, const std::string& macro, const Lines& more = {},
                     int signalWhenKeyed = 0) const {
        RigRun run;
        RigPttWatch watch;
        const std::string watchError = watch.start(rig_.port());
        EXPECT_TRUE(watchError.empty()) << watchError;
        const auto from = static_cast<std::int64_t>(recorder_.snapshot().levels.size());
        run.startedAt = MonitorRecorder::nowSeconds();
        const auto player = startPlayer(times, macro, more);
        if (signalWhenKeyed != 0) {
            EXPECT_TRUE(waitUntil(watch, true)) << "the rig was never keyed";
            player->signal(signalWhenKeyed);
        }
        run.result = player->finish(kRunTimeout);
        EXPECT_FALSE(run.result.timedOut) << "pelkora-play did not end";
        // A loaded machine may keep rigctld from the last command for a while.
        waitUntil(watch, false);
        std::this_thread::sleep_for(kSettle);
        watch.stop();
        EXPECT_EQ(watch.fault(), "");
        run.ptt = watch.samples();
        run.events = parseEvents(splitLines(run.result.out));
        run.onAir = loudOnAir(recorder_.snapshot(), from);
        run.pttAfterwards = rig_.pttAsRigctlSees();
        EXPECT_EQ(run.pttAfterwards, std::optional<bool>(false)) << "the rig was left keyed";
        if (!run.ptt.empty()) {
            EXPECT_FALSE(run.ptt.back().keyed) << "the rig was still keyed after the run";
        }
        return run;
    }

    // Until the watch's latest answer is `keyed`, for at most five seconds.
    static bool waitUntil(const RigPttWatch& watch, bool keyed) {
        for (int wait = 0; wait < 500; ++wait) {
            const Samples samples = watch.samples();
            if (!samples.empty() && samples.back().keyed == keyed) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    RigctldServer rig_;
    MonitorRecorder recorder_;
    std::string player_;
    std::string workDir_;
};

// Keyed before the message, released after it; with a lead the first sample
// waits for it (counted from the rig's own answer), with a tail the rig stays
// keyed after the last one; without either both gaps are short.
TEST_F(LiveRigctld, LeadAndTailFrameTheMessageOnTheRig) {
    for (const PttTimes times : {PttTimes{300, 200}, PttTimes{0, 0}}) {
        const std::string label =
            "LeadMs=" + std::to_string(times.leadMs) + " TailMs=" + std::to_string(times.tailMs);
        SCOPED_TRACE(label);
        const RigRun run = playKeyed(times, "~[tx]~[floud.wav]~[rx]");
        ASSERT_EQ(run.result.exitCode, 0) << run.result.err;

        // The player's own account: ptt on, play, ptt off, in that order.
        const auto on = findEvent(run.events, "ptt", "on");
        ASSERT_TRUE(on.has_value()) << run.result.out;
        const auto play = findEvent(run.events, "play", "", *on);
        ASSERT_TRUE(play.has_value()) << run.result.out;
        const auto off = findEvent(run.events, "ptt", "off", *play);
        ASSERT_TRUE(off.has_value()) << run.result.out;
        // The release is decided at "broadcast 110"; "ptt off" comes with the
        // rig's answer (Hamlib takes its time over a release).
        const auto released = findEvent(run.events, "broadcast", "110", *play);
        ASSERT_TRUE(released.has_value() && *released < *off) << run.result.out;
        const double soundEndMs = run.events[*play].ms + kLoudMs;
        const double leadMs = run.events[*play].ms - run.events[*on].ms;
        const double tailMs = run.events[*released].ms - soundEndMs;
        report(label + ": events, ptt on to play", leadMs);
        report(label + ": events, end of the sound to the release", tailMs);
        report(label + ": events, end of the sound to ptt off", run.events[*off].ms - soundEndMs);

        // The rig, as another client saw it, against the sound on air.
        ASSERT_TRUE(run.onAir.heard) << "nothing loud was recorded";
        const auto keyed = RigPttWatch::firstKeyed(run.ptt, run.startedAt);
        ASSERT_TRUE(keyed.has_value()) << "the rig was never seen keyed";
        const auto unkeyed = RigPttWatch::firstReleasedAfter(run.ptt, keyed->seconds);
        ASSERT_TRUE(unkeyed.has_value());
        const double onAirLeadMs = (run.onAir.first - keyed->seconds) * 1000.0;
        const double onAirTailMs = (unkeyed->seconds - run.onAir.last) * 1000.0;
        report(label + ": rig seen keyed to first sample on air", onAirLeadMs);
        report(label + ": last sample on air to rig seen released", onAirTailMs);
        report(label + ": rig seen keyed for", (unkeyed->seconds - keyed->seconds) * 1000.0);
        for (const RigPttWatch::Sample& sample : run.ptt) {
            if (sample.seconds >= run.onAir.first && sample.seconds <= run.onAir.last) {
                EXPECT_TRUE(sample.keyed) << "the rig was released while the message was on air";
            }
        }
        // The sound never comes before the rig has keyed, nor goes on after it was released.
        EXPECT_GE(onAirLeadMs, -kWatchSlackMs);
        EXPECT_GE(onAirTailMs, -kWatchSlackMs);
        if (times.leadMs > 0) {
            EXPECT_GE(leadMs, times.leadMs - kEventSlackMs);
            EXPECT_GE(tailMs, times.tailMs - kEventSlackMs);
            EXPECT_GE(onAirLeadMs, times.leadMs - kWatchSlackMs);
            EXPECT_GE(onAirTailMs, times.tailMs - kWatchSlackMs);
        } else {
            EXPECT_LT(leadMs, kSmallGapMs);
            EXPECT_LT(tailMs, kSmallGapMs);
        }
    }
}

// A beacon that would run until stopped, each repetition keyed for two
// seconds: the one-second time-out releases the rig, stops the beacon, and
// the run ends with the rig released.
TEST_F(LiveRigctld, TimeOutReleasesTheRigAndEndsTheBeacon) {
    const RigRun run =
        playKeyed({}, "~[tx]~[floud.wav]~[floud.wav]~[floud.wav]~[floud.wav]~[rp100:0]",
                  {"--tx-timeout", "1"});
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    // The rig's "ptt off" comes when it has answered, which may be after the
    // "timeout" the keyer prints as it releases.
    const auto off = findEvent(run.events, "ptt", "off");
    ASSERT_TRUE(off.has_value()) << run.result.out;
    ASSERT_TRUE(findEvent(run.events, "timeout", "1").has_value()) << run.result.out;
    EXPECT_FALSE(findEvent(run.events, "ptt", "on", *off).has_value())
        << "keyed again after the time-out:\n"
        << run.result.out;
    EXPECT_NE(run.result.err.find("time-out"), std::string::npos) << run.result.err;

    const auto keyed = RigPttWatch::firstKeyed(run.ptt, run.startedAt);
    ASSERT_TRUE(keyed.has_value());
    const auto released = RigPttWatch::firstReleasedAfter(run.ptt, keyed->seconds);
    ASSERT_TRUE(released.has_value());
    const double keyedMs = (released->seconds - keyed->seconds) * 1000.0;
    report("time-out 1 s: rig seen keyed for", keyedMs);
    EXPECT_GE(keyedMs, 1000.0 - kTimeoutSlackMs);
    EXPECT_FALSE(RigPttWatch::firstKeyed(run.ptt, released->seconds).has_value())
        << "the rig was keyed again after the time-out";
    // Released in the middle of the first repetition, not at its end.
    EXPECT_LT(released->seconds, keyed->seconds + 4 * kLoudMs / 1000.0);
    EXPECT_LT(run.onAir.last, keyed->seconds + 4 * kLoudMs / 1000.0);
}

// A fault that kills the player while the rig is keyed: its handler switches
// the rig's PTT off over the open rigctld connection before the program dies.
TEST_F(LiveRigctld, FaultSignalsReleaseTheRigOnTheWayDown) {
    for (const int signal : {SIGSEGV, SIGABRT}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        const RigRun run =
            playKeyed({}, "~[tx]~[floud.wav]~[floud.wav]~[floud.wav]~[rx]", {}, signal);
        EXPECT_EQ(run.result.exitCode, 128 + signal) << run.result.err;
    }
}

}  // namespace
}  // namespace pelkora::test
