// End-to-end runs of pelkora-play ($PELKORA_PLAY) playing live on the private
// sound server: what the null sink's monitor records is what would go on air.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pulse/MonitorRecorder.h"
#include "pulse/PrivateSoundServer.h"
#include "pulse/SoundFiles.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"

namespace pelkora::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Recording = MonitorRecorder::Recording;

constexpr double kFramesPerMs = MonitorRecorder::kRate / 1000.0;

// The sound files are 300 ms of 8 kHz 16-bit mono, as a keyer's recordings
// are, each flat at a level of its own so the recording shows which one played.
constexpr SoundFormat kVoice{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1};
constexpr std::int64_t kSoundFrames = 2400;
constexpr double kSoundMs = 300.0;
struct SoundFile {
    const char* name;
    float level;
};
constexpr SoundFile kSounds[] = {{"cq", 0.15f}, {"A", 0.25f}, {"B", 0.35f}, {"stroke", 0.45f},
                                 {"1", 0.55f},  {"5", 0.65f}, {"9", 0.75f}};

// Generous limits: a real server on a busy two-core CI machine. The figures
// they bound are printed.
constexpr float kLevelTolerance = 0.04f;    // 16-bit sink, resampled from 8 kHz
constexpr float kSilence = 0.01f;           // below this a frame is silent
constexpr std::int64_t kMinRunFrames = 48;  // 1 ms: shorter runs are edges ringing
// A file silent for less than this and then back is one file that dropped
// out; none of the macros here plays one file twice within it.
constexpr std::int64_t kDropoutFrames = 50 * MonitorRecorder::kRate / 1000;
constexpr double kDropoutLimitMs = 0.0;    // nothing of a file may go missing on air
constexpr double kLengthSlackMs = 3.0;     // a file on air against its 300 ms
constexpr double kLatencySlackMs = 30.0;   // a gap beyond the header's; far below an audible break
constexpr double kHeaderGapSlackMs = 1.0;  // mean gap of a spelled word below the header's
constexpr double kPauseSlackMs = 30.0;     // ~[p40] on air against its 400 ms
constexpr double kCutLimitMs = 50.0;       // the signal to the last sample on air
constexpr auto kAfterCut = 500ms;          // recorded after a stop; must stay silent
constexpr auto kRunTimeout = 20s;
constexpr auto kHangGuard = 5s;     // a run that finds no server ends well before this
constexpr auto kLastBlocks = 50ms;  // until the monitor has delivered the end of a run

// One file heard on air: which one, its first and last frame, and how many
// frames in between were lost.
struct Heard {
    std::string name;
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t dropped = 0;

    double ms() const { return static_cast<double>(last + 1 - first) / kFramesPerMs; }
    double droppedMs() const { return static_cast<double>(dropped) / kFramesPerMs; }
    double signalMs() const { return ms() - droppedMs(); }
};

double gapMs(const Heard& before, const Heard& after) {
    return static_cast<double>(after.first - before.last - 1) / kFramesPerMs;
}

constexpr int kSilent = -1;
constexpr int kNoFile = -2;

// Index in kSounds of the file at this level, kSilent or kNoFile.
int soundAt(float level) {
    if (level < kSilence) {
        return kSilent;
    }
    for (std::size_t index = 0; index < std::size(kSounds); ++index) {
        if (std::fabs(level - kSounds[index].level) <= kLevelTolerance) {
            return static_cast<int>(index);
        }
    }
    return kNoFile;
}

// The files heard from frame `from` on, in order. A run too short to be a file
// is an edge passing through other levels; a file that comes back after a
// short break stays one file, its break counted as dropped.
std::vector<Heard> filesHeard(const Recording& recording, std::int64_t from) {
    std::vector<Heard> heard;
    std::int64_t runStart = from;
    int runSound = kSilent;
    const auto closeRun = [&](std::int64_t end) {
        if (runSound < 0 || end - runStart < kMinRunFrames) {
            return;
        }
        const std::string name = kSounds[runSound].name;
        const std::int64_t breakFrames = heard.empty() ? 0 : runStart - heard.back().last - 1;
        if (!heard.empty() && heard.back().name == name && breakFrames < kDropoutFrames) {
            heard.back().dropped += breakFrames;
            heard.back().last = end - 1;
        } else {
            heard.push_back({name, runStart, end - 1, 0});
        }
    };
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    for (std::int64_t frame = from; frame < frames; ++frame) {
        const int sound = soundAt(recording.levels[static_cast<std::size_t>(frame)]);
        if (sound != runSound) {
            closeRun(frame);
            runStart = frame;
            runSound = sound;
        }
    }
    closeRun(frames);
    return heard;
}

Lines namesOf(const std::vector<Heard>& heard) {
    Lines names;
    for (const Heard& file : heard) {
        names.push_back(file.name);
    }
    return names;
}

// How long the keyer gives a file: its size over the bytes per second its
// header states (offset 28), as whole milliseconds.
double headerEntryMs(const std::string& path) {
    const auto size = std::filesystem::file_size(path) / 4 * 4;
    std::ifstream file(path, std::ios::binary);
    unsigned char rate[4] = {};
    file.seekg(28).read(reinterpret_cast<char*>(rate), 4);
    const auto bytesPerSecond =
        static_cast<std::uint32_t>(rate[0] | rate[1] << 8 | rate[2] << 16 | rate[3] << 24);
    return std::trunc(static_cast<double>(size) * 1000.0 / bytesPerSecond);
}

// The arguments of the events with this name, times dropped: "play 5.wav" -> "5.wav".
Lines eventArguments(const Lines& events, const std::string& event) {
    Lines found;
    const std::string marker = " " + event + " ";
    for (const std::string& line : events) {
        const std::size_t at = line.find(marker);
        if (at != std::string::npos) {
            found.push_back(line.substr(at + marker.size()));
        }
    }
    return found;
}

void report(const std::string& what, double ms) {
    std::cout << "[ measured ] " << what << ": " << ms << " ms\n";
}

struct LiveRun {
    ChildProcess::Result result;
    Lines events;
    Recording recording;
    std::vector<Heard> heard;
};

class LivePlay : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!PrivateSoundServer::installed()) {
            setupError() = "pulseaudio is not installed (scripts/install-deps.sh installs it)";
            return;
        }
        server() = std::make_unique<PrivateSoundServer>();
        setupError() = server()->start();
        // The recorder reaches the server through this too.
        ::setenv("PULSE_SERVER", server()->address().c_str(), 1);
    }
    static void TearDownTestSuite() { server().reset(); }

    static std::unique_ptr<PrivateSoundServer>& server() {
        static std::unique_ptr<PrivateSoundServer> instance;
        return instance;
    }
    static std::string& setupError() {
        static std::string error;
        return error;
    }

    void SetUp() override {
        ASSERT_TRUE(setupError().empty()) << setupError();
        const char* player = std::getenv("PELKORA_PLAY");
        ASSERT_TRUE(player != nullptr && *player != '\0')
            << "PELKORA_PLAY is not set: point it at the pelkora-play binary (ctest sets it)";
        player_ = std::filesystem::absolute(player).string();
        ASSERT_EQ(::access(player_.c_str(), X_OK), 0) << player_ << " is not executable";
        workDir_ =
            server()->dir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(workDir_ + "/snd");
        for (const SoundFile& sound : kSounds) {
            writeLevelFile(soundPath(sound.name), kVoice, kSoundFrames, sound.level);
        }
        const std::string error = recorder_.start();
        ASSERT_TRUE(error.empty()) << error;
        // Lets the sink settle on the recorder's one-millisecond blocks.
        std::this_thread::sleep_for(100ms);
    }

    std::string soundPath(const std::string& name) const {
        return workDir_ + "/snd/" + name + ".wav";
    }

    // The usual arguments: sounds from snd/, events printed; then the macro, if any.
    static Lines liveArgs(const Lines& options, const std::string& macro = "") {
        Lines args{"--sound-dir", "snd", "--events"};
        args.insert(args.end(), options.begin(), options.end());
        if (!macro.empty()) {
            args.push_back(macro);
        }
        return args;
    }

    std::int64_t framesSoFar() const {
        return static_cast<std::int64_t>(recorder_.snapshot().levels.size());
    }

    // HOME and XDG_CONFIG_HOME point into the test's folder, so that no
    // pelkora.ini of the machine keys a real port.
    std::unique_ptr<ChildProcess> start(const Lines& args, const std::string& soundServer) const {
        const Lines environment{"PULSE_SERVER=" + soundServer, "HOME=" + workDir_,
                                "XDG_CONFIG_HOME=" + workDir_ + "/config"};
        return std::make_unique<ChildProcess>(player_, args, workDir_, environment);
    }

    LiveRun finish(ChildProcess& player, std::int64_t from,
                   std::chrono::milliseconds timeout = kRunTimeout,
                   std::chrono::milliseconds recordAfter = kLastBlocks) const {
        LiveRun run;
        run.result = player.finish(timeout);
        EXPECT_FALSE(run.result.timedOut)
            << "pelkora-play was killed after " << timeout.count() << " ms";
        std::this_thread::sleep_for(recordAfter);
        run.events = splitLines(run.result.out);
        run.recording = recorder_.snapshot();
        run.heard = filesHeard(run.recording, from);
        expectTransmitterReleased(run.events);
        return run;
    }

    LiveRun play(const Lines& args, const std::string& soundServer = server()->address(),
                 std::chrono::milliseconds timeout = kRunTimeout) const {
        const std::int64_t from = framesSoFar();
        const auto player = start(args, soundServer);
        return finish(*player, from, timeout);
    }

    // Whatever the run did, a keyed transmitter must have been released by its end.
    static void expectTransmitterReleased(const Lines& events) {
        const Lines ptt = eventArguments(events, "ptt");
        if (!ptt.empty()) {
            EXPECT_EQ(ptt.back(), "off") << "transmitter left keyed";
        }
    }

    // Each file whole, and between two files the silence its entry's header
    // adds after the sound (all files have the same header), plus the pause
    // the macro asks for before the file (pausesMs, by index; none when
    // missing). Returns each gap less its pause.
    std::vector<double> expectOnAir(const std::vector<Heard>& heard,
                                    const std::vector<double>& pausesMs = {}) const {
        const double headerGapMs = headerEntryMs(soundPath("cq")) - kSoundMs;
        std::vector<double> gapsMs;
        for (std::size_t index = 0; index < heard.size(); ++index) {
            const std::string& name = heard[index].name;
            EXPECT_NEAR(heard[index].signalMs(), kSoundMs, kLengthSlackMs) << name;
            EXPECT_LE(heard[index].droppedMs(), kDropoutLimitMs) << name << " dropped out on air";
            if (index == 0) {
                continue;
            }
            const double pauseMs = index < pausesMs.size() ? pausesMs[index] : 0.0;
            const double gap = gapMs(heard[index - 1], heard[index]);
            report("silence before " + name, gap);
            if (pauseMs > 0) {
                EXPECT_NEAR(gap, headerGapMs + pauseMs, kPauseSlackMs) << "before " << name;
            } else {
                EXPECT_LE(gap, headerGapMs + kLatencySlackMs) << "before " << name;
            }
            gapsMs.push_back(gap - pauseMs);
        }
        return gapsMs;
    }

    MonitorRecorder recorder_;
    std::string player_;
    std::string workDir_;
};

TEST_F(LivePlay, ExchangeGoesOnAirInOrderWithItsPause) {
    const LiveRun run = play(liveArgs({"--call", "AB/1"}, "~[tx]~[fcq.wav]~[ec]~[p40]~[er]~[rx]"));
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    const Lines sent{"cq", "A", "B", "stroke", "1", "5", "9"};
    ASSERT_EQ(namesOf(run.heard), sent);
    Lines played;
    for (const std::string& name : sent) {
        played.push_back("snd/" + name + ".wav");
    }
    EXPECT_EQ(eventArguments(run.events, "play"), played);
    EXPECT_EQ(eventArguments(run.events, "pause"), Lines{"400"});

    const std::vector<double> gapsMs = expectOnAir(run.heard, {0, 0, 0, 0, 0, 400.0});
    // Each entry lasts as long as its header says, not only as long as its
    // sound. One gap alone may fall short when its file reached the sink late;
    // their mean cannot.
    const double headerGapMs = headerEntryMs(soundPath("cq")) - kSoundMs;
    double sumMs = 0;
    for (const double gap : gapsMs) {
        sumMs += gap;
    }
    EXPECT_GE(sumMs / static_cast<double>(gapsMs.size()), headerGapMs - kHeaderGapSlackMs);
}

// Waits until a repetition after the first is on air and has sounded for a
// while, so that a stop now falls in the middle of a file.
bool waitForSecondRepetition(const MonitorRecorder& recorder, std::int64_t from) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        const Recording recording = recorder.snapshot();
        const std::vector<Heard> heard = filesHeard(recording, from);
        const auto frames = static_cast<std::int64_t>(recording.levels.size());
        if (heard.size() >= 2 && heard.back().last + kMinRunFrames >= frames &&
            heard.back().ms() >= 50.0 && heard.back().ms() <= 200.0) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST_F(LivePlay, InterruptCutsTheBeaconAndReleasesTheTransmitter) {
    const std::int64_t from = framesSoFar();
    const auto player = start(liveArgs({"--tx"}, "~[fcq.wav]~[rp200:0]"), server()->address());
    ASSERT_TRUE(waitForSecondRepetition(recorder_, from)) << "the beacon did not repeat";
    const double interruptedAt = MonitorRecorder::nowSeconds();
    player->signal(SIGINT);
    const LiveRun run = finish(*player, from, kRunTimeout, kAfterCut);

    EXPECT_EQ(run.result.exitCode, 128 + SIGINT) << run.result.err;
    EXPECT_NE(run.result.err.find("stopped by signal"), std::string::npos) << run.result.err;
    const Lines ptt = eventArguments(run.events, "ptt");
    ASSERT_FALSE(ptt.empty());
    EXPECT_EQ(ptt.front(), "on");
    ASSERT_GE(run.heard.size(), 2u);
    const double cutMs = (run.recording.timeOf(run.heard.back().last + 1) - interruptedAt) * 1000;
    EXPECT_LT(cutMs, kCutLimitMs);
    report("SIGINT to the last sample on air", cutMs);
    // Nothing sounds after the cut, to the end of the recording.
    const std::vector<float>& levels = run.recording.levels;
    for (std::int64_t frame = run.heard.back().last + kMinRunFrames;
         frame < static_cast<std::int64_t>(levels.size()); ++frame) {
        ASSERT_LT(levels[static_cast<std::size_t>(frame)], kSilence)
            << (run.recording.timeOf(frame) - interruptedAt) * 1000 << " ms after the signal";
    }
}

TEST_F(LivePlay, KeyPlaysItsMacroFromTheIniOrTheDefaultFile) {
    struct Row {
        const char* what;
        std::string ini;
        Lines heard;
    };
    const std::vector<Row> rows = {
        {"Macro5 of the ini",
         "[Macroses]\nMacro1=~[f9.wav]\nMacro5=~[fA.wav]~[fB.wav]\n",
         {"A", "B"}},
        {"no Macro5: the default ~[f5.wav]", "[Macroses]\nMacro1=~[f9.wav]\n", {"5"}},
    };
    const std::string ini = workDir_ + "/pelkora.ini";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::ofstream(ini, std::ios::trunc) << row.ini;
        const LiveRun run = play(liveArgs({"--tx", "--ini", ini, "--key", "F5"}));
        EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
        EXPECT_EQ(namesOf(run.heard), row.heard);
        expectOnAir(run.heard);
    }
}

TEST_F(LivePlay, WithoutASoundServerItSaysSoAndStopsQuickly) {
    const LiveRun run = play(liveArgs({}, "~[tx]~[fcq.wav]~[rx]"), "unix:/nonexistent", kHangGuard);
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_NE(run.result.err.find("Sound server not available"), std::string::npos)
        << run.result.err;
    EXPECT_TRUE(eventArguments(run.events, "play").empty());
    EXPECT_TRUE(run.heard.empty());
}

TEST_F(LivePlay, UnreadableFilesAreSkippedAndTheRestPlaysOnTime) {
    std::string garbage;
    for (int index = 0; index < 100; ++index) {
        garbage.push_back(static_cast<char>(index * 37 + 11));
    }
    std::ofstream(workDir_ + "/snd/garbage.wav", std::ios::binary) << garbage;
    std::ofstream(workDir_ + "/snd/empty.wav");
    std::filesystem::create_directory(workDir_ + "/snd/folder.wav");
    const LiveRun run = play(liveArgs({},
                                      "~[tx]~[fcq.wav]~[fmissing.wav]~[fempty.wav]~[fA.wav]"
                                      "~[ffolder.wav]~[fgarbage.wav]~[fB.wav]~[rx]"));
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    const Lines skipped{"snd/missing.wav", "snd/empty.wav", "snd/folder.wav", "snd/garbage.wav"};
    EXPECT_EQ(eventArguments(run.events, "skip"), skipped);
    for (const std::string& path : skipped) {
        EXPECT_NE(run.result.err.find(path), std::string::npos) << run.result.err;
    }
    ASSERT_EQ(namesOf(run.heard), (Lines{"cq", "A", "B"}));
    expectOnAir(run.heard);
}

// Closes the master side of a pseudo-terminal at the end of the test.
struct PseudoTerminal {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ~PseudoTerminal() {
        if (master >= 0) {
            ::close(master);
        }
    }
};

TEST_F(LivePlay, KeysOnAPseudoTerminalAndPlays) {
    // The kernel refuses modem-line ioctls on a pty: only the open and the run are checked.
    const PseudoTerminal pty;
    ASSERT_GE(pty.master, 0);
    ASSERT_EQ(::grantpt(pty.master), 0);
    ASSERT_EQ(::unlockpt(pty.master), 0);
    const LiveRun run = play(liveArgs({"--tx", "--device", ::ptsname(pty.master)}, "~[fcq.wav]"));
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    EXPECT_EQ(namesOf(run.heard), Lines{"cq"});
}

TEST_F(LivePlay, DeviceThatIsNoSerialPortStopsTheRunBeforeAnythingPlays) {
    const LiveRun run = play(liveArgs({"--tx", "--device", "/dev/null"}, "~[fcq.wav]"));
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_NE(run.result.err.find("Pelkora COM-port error"), std::string::npos) << run.result.err;
    EXPECT_TRUE(eventArguments(run.events, "play").empty());
    EXPECT_TRUE(eventArguments(run.events, "ptt").empty());
    EXPECT_TRUE(run.heard.empty());
}

}  // namespace
}  // namespace pelkora::test
