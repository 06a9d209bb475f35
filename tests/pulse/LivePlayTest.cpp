// End-to-end runs of pelkora-play ($PELKORA_PLAY) playing live on the private
// sound server: what the null sink's monitor records is what would go on air.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
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
#include "pulse/SoundServerSuite.h"
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
// Nothing of a file may go missing on air, but for what the server itself drops.
double dropoutLimitMs() {
    return static_cast<double>(PrivateSoundServer::toleratedDropoutFrames()) * 1000.0 /
           MonitorRecorder::kRate;
}
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

class LivePlay : public test::SoundServerSuite<LivePlay> {
  protected:
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
    std::unique_ptr<ChildProcess> start(const Lines& args, const std::string& soundServer,
                                        const Lines& extraEnvironment = {},
                                        const std::string& program = {}) const {
        Lines environment{"PULSE_SERVER=" + soundServer, "HOME=" + workDir_,
                          "XDG_CONFIG_HOME=" + workDir_ + "/config"};
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        return std::make_unique<ChildProcess>(program.empty() ? player_ : program, args, workDir_,
                                              environment);
    }

    // The environment that loads the test preload into the player: modem-line
    // requests succeed and are logged to lineLog(), as on a real serial port.
    Lines withLineLog(const Lines& more = {}) const {
        const std::string preload =
            (std::filesystem::path(player_).parent_path() / "libpelkora_play_preload.so").string();
        EXPECT_EQ(::access(preload.c_str(), R_OK), 0) << preload;
        Lines environment{"LD_PRELOAD=" + preload, "PELKORA_TEST_LINE_LOG=" + lineLog(),
                          "ASAN_OPTIONS=verify_asan_link_order=0"};
        environment.insert(environment.end(), more.begin(), more.end());
        return environment;
    }
    std::string lineLog() const { return workDir_ + "/lines.log"; }

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
            EXPECT_NEAR(heard[index].signalMs(), kSoundMs, kLengthSlackMs + dropoutLimitMs())
                << name;
            EXPECT_LE(heard[index].droppedMs(), dropoutLimitMs()) << name << " dropped out on air";
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

// The modem lines after the requests a run left in its line log: RTS and DTR
// as the last request set them, and the requests themselves.
struct LoggedLines {
    int bits = 0;
    Lines requests;
};

LoggedLines readLineLog(const std::string& path) {
    LoggedLines lines;
    std::ifstream log(path);
    std::string request;
    int bits = 0;
    while (log >> request >> bits) {
        lines.requests.push_back(request + " " + std::to_string(bits));
        lines.bits = request == "BIS"   ? lines.bits | bits
                     : request == "BIC" ? lines.bits & ~bits
                                        : bits;
    }
    return lines;
}

// Waits until the run has raised RTS, so that a signal falls while it is keyed.
bool waitUntilKeyed(const std::string& lineLogPath) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        if ((readLineLog(lineLogPath).bits & TIOCM_RTS) != 0) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// A pseudo-terminal kept by the test, standing in for the station's port.
struct TestPort {
    PseudoTerminal pty;
    std::string path;

    TestPort() {
        if (pty.master >= 0 && ::grantpt(pty.master) == 0 && ::unlockpt(pty.master) == 0) {
            path = ::ptsname(pty.master);
        }
    }

    // The next program can take the port: no flock, no exclusive claim left.
    bool freeForTheNextRun() const {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        int exclusive = 0;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                          ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
        ::close(fd);
        return free;
    }
};

void expectReleased(const std::string& lineLogPath) {
    const LoggedLines lines = readLineLog(lineLogPath);
    EXPECT_NE(
        std::find(lines.requests.begin(), lines.requests.end(), "BIS " + std::to_string(TIOCM_RTS)),
        lines.requests.end())
        << "the transmitter was never keyed";
    EXPECT_EQ(lines.bits & TIOCM_RTS, 0) << "RTS left high";
}

// A macro ends live as it ends offline: same exit status, same repetitions.
TEST_F(LivePlay, EndsAsAnOfflineRunOfTheSameMacroDoes) {
    struct Row {
        Lines options;
        std::string macro;
        int exitCode;
        std::size_t beacons;
    };
    const std::vector<Row> rows = {
        {{}, "~[tx]~[fA.wav]~[rp300:2]", 0, 2},  {{}, "~[tx]~[fA.wav]~[rp0:3]", 4, 1},
        {{}, "~[tx]~[fA.wav]~[rp-5:2]", 4, 1},   {{}, "~[fA.wav]~[rp500]", 5, 0},
        {{"--tx"}, "~[fA.wav]~[rp500]", 5, 0},   {{}, "~[fA.wav]", 3, 0},
        {{"--tx"}, "~[fA.wav]~[rp200:1]", 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.macro + (row.options.empty() ? "" : " --tx"));
        const LiveRun live =
            play(liveArgs(row.options, row.macro), server()->address(), kHangGuard);
        EXPECT_EQ(live.result.exitCode, row.exitCode) << live.result.err;
        EXPECT_EQ(eventArguments(live.events, "beacon").size(), row.beacons);
        Lines offlineOptions = row.options;
        offlineOptions.insert(offlineOptions.end(), {"--output", "out.wav"});
        const LiveRun offline =
            play(liveArgs(offlineOptions, row.macro), server()->address(), kHangGuard);
        EXPECT_EQ(offline.result.exitCode, row.exitCode) << offline.result.err;
        EXPECT_EQ(eventArguments(offline.events, "beacon").size(), row.beacons);
        // Each change of the lines is reported once: a beacon keys what --tx keyed.
        const Lines ptt = eventArguments(live.events, "ptt");
        for (std::size_t index = 1; index < ptt.size(); ++index) {
            EXPECT_NE(ptt[index], ptt[index - 1]) << "ptt " << ptt[index] << " twice";
        }
    }
}

TEST_F(LivePlay, StopSignalsReleaseTheTransmitterAndThePort) {
    for (const int signal : {SIGHUP, SIGTERM, SIGQUIT, SIGUSR1, SIGTSTP, SIGRTMIN + 3}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        const TestPort port;
        ASSERT_FALSE(port.path.empty());
        std::filesystem::remove(lineLog());
        const std::int64_t from = framesSoFar();
        const auto player =
            start(liveArgs({"--device", port.path}, "~[tx]~[fcq.wav]~[fA.wav]~[fB.wav]~[rx]"),
                  server()->address(), withLineLog());
        ASSERT_TRUE(waitUntilKeyed(lineLog())) << "the transmitter was never keyed";
        player->signal(signal);
        const LiveRun run = finish(*player, from);
        EXPECT_EQ(run.result.exitCode, 128 + signal) << run.result.err;
        EXPECT_NE(run.result.err.find("stopped by signal"), std::string::npos) << run.result.err;
        ASSERT_FALSE(eventArguments(run.events, "ptt").empty());
        expectReleased(lineLog());
        EXPECT_TRUE(port.freeForTheNextRun());
    }
}

// A logger that stops reading the events ends the run: the transmitter is
// released and the message is cut rather than sent on without anyone
// listening for its end.
TEST_F(LivePlay, ClosedEventsReaderStopsTheRunCleanly) {
    const TestPort port;
    ASSERT_FALSE(port.path.empty());
    const std::int64_t from = framesSoFar();
    Lines args{"-c", "\"$@\" | head -n 3; exit \"${PIPESTATUS[0]}\"", "sh", player_};
    const Lines player =
        liveArgs({"--device", port.path}, "~[tx]~[fcq.wav]~[fA.wav]~[fB.wav]~[rx]");
    args.insert(args.end(), player.begin(), player.end());
    const auto shell = start(args, server()->address(), withLineLog(), "/bin/bash");
    // Not finish(): the events after the third never reach the test.
    LiveRun run;
    run.result = shell->finish(kRunTimeout);
    std::this_thread::sleep_for(kLastBlocks);
    run.events = splitLines(run.result.out);
    run.heard = filesHeard(recorder_.snapshot(), from);
    EXPECT_EQ(run.result.exitCode, 128 + SIGPIPE) << run.result.err;
    EXPECT_EQ(run.events.size(), 3u);
    EXPECT_NE(run.result.err.find("stopped by signal"), std::string::npos) << run.result.err;
    expectReleased(lineLog());
    EXPECT_TRUE(port.freeForTheNextRun());
    const Lines heard = namesOf(run.heard);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "B"), 0)
        << "the message went on after its reader had gone";
}

TEST_F(LivePlay, FaultSignalsDropTheLinesOnTheWayDown) {
    for (const int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        const TestPort port;
        ASSERT_FALSE(port.path.empty());
        std::filesystem::remove(lineLog());
        const auto player =
            start(liveArgs({"--device", port.path}, "~[tx]~[fcq.wav]~[fA.wav]~[rx]"),
                  server()->address(), withLineLog());
        ASSERT_TRUE(waitUntilKeyed(lineLog())) << "the transmitter was never keyed";
        player->signal(signal);
        const ChildProcess::Result result = player->finish(kRunTimeout);
        EXPECT_EQ(result.exitCode, 128 + signal) << result.err;
        const LoggedLines lines = readLineLog(lineLog());
        ASSERT_FALSE(lines.requests.empty());
        EXPECT_EQ(lines.requests.back(), "BIC " + std::to_string(TIOCM_RTS | TIOCM_DTR));
        EXPECT_EQ(lines.bits, 0);
        EXPECT_TRUE(port.freeForTheNextRun());
    }
}

// An exception in the middle of a keyer operation (thrown here right after
// "ptt on" is printed) ends the run with the transmitter released.
TEST_F(LivePlay, ExceptionReleasesTheTransmitterAndIsReported) {
    const TestPort port;
    ASSERT_FALSE(port.path.empty());
    std::filesystem::remove(lineLog());
    const std::int64_t from = framesSoFar();
    const auto player = start(liveArgs({"--device", port.path}, "~[tx]~[fcq.wav]~[rx]"),
                              server()->address(), withLineLog({"PELKORA_TEST_THROW_AT_FLUSH=2"}));
    const LiveRun run = finish(*player, from);
    EXPECT_EQ(run.result.exitCode, 6) << run.result.err;
    EXPECT_EQ(eventArguments(run.events, "ptt"), (Lines{"on", "off"}));
    EXPECT_EQ(eventArguments(run.events, "error"), Lines{"internal error: std::bad_alloc"});
    EXPECT_NE(run.result.err.find("internal error"), std::string::npos) << run.result.err;
    expectReleased(lineLog());
    EXPECT_TRUE(port.freeForTheNextRun());
}

// A file the server cannot take is skipped with its reason at once, not timed
// for the 20 s its header promises with the transmitter keyed.
TEST_F(LivePlay, FileTheServerRefusesIsSkippedAndTheTransmitterReleasedAtOnce) {
    struct Row {
        const char* name;
        int rate;
        int channels;
    };
    for (const Row& row : {Row{"wide", 8000, 40}, Row{"fast", 500000, 1}}) {
        SCOPED_TRACE(row.name);
        const std::string file = std::string("snd/") + row.name + ".wav";
        const std::uint32_t bytes = static_cast<std::uint32_t>(row.rate * row.channels * 2 * 20);
        writeSparseWav(workDir_ + "/" + file, row.rate, row.channels, 16, bytes);
        const LiveRun run = play(liveArgs({}, "~[tx]~[f" + std::string(row.name) + ".wav]~[rx]"));
        EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
        EXPECT_EQ(eventArguments(run.events, "skip"), Lines{file});
        EXPECT_TRUE(eventArguments(run.events, "play").empty());
        EXPECT_NE(run.result.err.find("skipped " + file + ": "), std::string::npos)
            << run.result.err;
        ASSERT_FALSE(run.events.empty());
        const std::int64_t releasedMs = std::stoll(run.events.back());
        EXPECT_LT(releasedMs, 10'000) << "held for the header's length";
    }
}

TEST_F(LivePlay, LosingTheServerIsAnErrorEventAndReleasesTheTransmitter) {
    PrivateSoundServer doomed;
    const std::string error = doomed.start();
    ASSERT_TRUE(error.empty()) << error;
    const auto player = start(liveArgs({"--tx"}, "~[fcq.wav]~[rp200:0]"), doomed.address());
    std::this_thread::sleep_for(700ms);
    doomed.kill();
    const LiveRun run = finish(*player, framesSoFar(), kHangGuard);
    EXPECT_EQ(run.result.exitCode, 1) << run.result.err;
    const Lines errors = eventArguments(run.events, "error");
    ASSERT_EQ(errors.size(), 1u) << run.result.out;
    EXPECT_EQ(errors.front().rfind("Sound server not available", 0), 0u) << errors.front();
    EXPECT_EQ(eventArguments(run.events, "ptt").back(), "off");
}

// A server that stops answering mid-file never reports the end of the sound:
// the run takes the sound as lost once the file's length and the margin are
// past, releases the transmitter and says so.
TEST_F(LivePlay, FrozenServerIsTakenAsLostAndTheTransmitterReleased) {
    PrivateSoundServer frozen;
    const std::string error = frozen.start();
    ASSERT_TRUE(error.empty()) << error;
    const TestPort port;
    ASSERT_FALSE(port.path.empty());
    std::filesystem::remove(lineLog());
    const auto player = start(liveArgs({"--device", port.path}, "~[tx]~[fcq.wav]~[fA.wav]~[rx]"),
                              frozen.address(), withLineLog());
    ASSERT_TRUE(waitUntilKeyed(lineLog())) << "the transmitter was never keyed";
    frozen.signal(SIGSTOP);
    const auto stoppedAt = std::chrono::steady_clock::now();
    const LiveRun run = finish(*player, framesSoFar(), kRunTimeout, 0ms);
    const auto keyedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - stoppedAt)
                             .count();
    frozen.signal(SIGCONT);
    EXPECT_EQ(run.result.exitCode, 1) << run.result.err;
    // Any other error is reported on its own; the stall is reported once, last.
    const Lines errors = eventArguments(run.events, "error");
    ASSERT_FALSE(errors.empty()) << run.result.out;
    EXPECT_NE(errors.back().find("stopped answering"), std::string::npos) << run.result.out;
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& message) {
                                return message.find("stopped answering") != std::string::npos;
                            }),
              1)
        << run.result.out;
    expectReleased(lineLog());
    report("frozen server: signal to the end of the run", static_cast<double>(keyedMs));
    EXPECT_LT(keyedMs, 300 + 2000 + 3000) << "held keyed far past the file and its margin";
}

TEST_F(LivePlay, MessagesNameTheDeviceGivenAsAPath) {
    const LiveRun run = play(liveArgs({"--tx", "--device", "/nonexistent/ttyQ9"}, "~[fcq.wav]"));
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_NE(run.result.err.find("Can't open port /nonexistent/ttyQ9!"), std::string::npos)
        << run.result.err;
    EXPECT_EQ(run.result.err.find("COM1"), std::string::npos) << run.result.err;
    EXPECT_TRUE(eventArguments(run.events, "ptt").empty());
}

}  // namespace
}  // namespace pelkora::test
