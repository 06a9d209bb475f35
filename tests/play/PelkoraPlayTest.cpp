// End-to-end runs of the pelkora-play binary named by $PELKORA_PLAY: the events
// it prints, its exit status and the sound it renders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "play/PlayWorkspace.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

// Each recording gets its own amplitude, so a rendering shows which one played where.
const std::map<std::string, float> kAmplitudes = {{"cq", 0.10f},     {"A", 0.20f}, {"B", 0.30f},
                                                  {"stroke", 0.40f}, {"1", 0.50f}, {"5", 0.60f},
                                                  {"9", 0.70f},      {"K", 0.80f}};
constexpr std::int64_t kFramesPerMs = PlayWorkspace::kRenderRate / 1000;
constexpr float kSampleTolerance = 2.0f / 32768.0f;  // 16-bit rounding

struct PlayerRun {
    int exitCode = -1;
    std::string err;
    Lines events;
};

struct PlayedFile {
    std::int64_t ms = 0;
    std::string path;
};

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string at(std::int64_t ms, const std::string& event) {
    return std::to_string(ms) + " " + event;
}

Lines matching(const Lines& events, const std::string& word) {
    Lines found;
    std::copy_if(
        events.begin(), events.end(), std::back_inserter(found),
        [&](const std::string& line) { return line.find(" " + word) != std::string::npos; });
    return found;
}

std::vector<PlayedFile> playedFiles(const Lines& events) {
    std::vector<PlayedFile> played;
    for (const std::string& line : events) {
        std::istringstream fields(line);
        PlayedFile file;
        std::string event;
        if (fields >> file.ms >> event && event == "play" && fields >> file.path) {
            played.push_back(file);
        }
    }
    return played;
}

// Whatever the run did, a keyed transmitter must have been released by its end.
void expectTransmitterReleased(const Lines& events) {
    std::string lastPtt;
    for (const std::string& line : events) {
        if (endsWith(line, " ptt on") || endsWith(line, " ptt off")) {
            lastPtt = line;
        }
    }
    if (!lastPtt.empty()) {
        EXPECT_TRUE(endsWith(lastPtt, " ptt off")) << "transmitter left keyed: " << lastPtt;
    }
}

// What the rendering must hold: each played tone from the frame of its play
// event, silence everywhere else, nothing past endMs.
std::vector<float> expectedRendering(const Lines& events, std::int64_t endMs) {
    std::vector<float> expected(static_cast<std::size_t>(endMs * kFramesPerMs), 0.0f);
    for (const PlayedFile& played : playedFiles(events)) {
        const auto amplitude = kAmplitudes.find(std::filesystem::path(played.path).stem());
        if (amplitude == kAmplitudes.end()) {
            ADD_FAILURE() << "played a file the test did not write: " << played.path;
            continue;
        }
        const std::int64_t start = played.ms * kFramesPerMs;
        for (std::int64_t frame = 0; frame < PlayWorkspace::kRenderedToneFrames &&
                                     start + frame < static_cast<std::int64_t>(expected.size());
             ++frame) {
            expected[static_cast<std::size_t>(start + frame)] =
                PlayWorkspace::renderedToneSample(amplitude->second, frame);
        }
    }
    return expected;
}

class PelkoraPlay : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* player = std::getenv("PELKORA_PLAY");
        ASSERT_TRUE(player != nullptr && *player != '\0')
            << "PELKORA_PLAY is not set: point it at the pelkora-play binary (ctest sets it)";
        player_ = std::filesystem::absolute(player).string();
        ASSERT_EQ(::access(player_.c_str(), X_OK), 0)
            << "PELKORA_PLAY=" << player_ << " is not an executable file";
        for (const auto& [name, amplitude] : kAmplitudes) {
            workspace_.writeTone("snd/" + name + ".wav", amplitude);
        }
    }

    PlayerRun play(const Lines& args) const {
        const ChildProcess::Result result =
            ChildProcess::run(player_, args, workspace_.path(), std::chrono::seconds(30));
        EXPECT_FALSE(result.timedOut) << "pelkora-play was killed after 30 s";
        PlayerRun run{result.exitCode, result.err, splitLines(result.out)};
        if (std::find(args.begin(), args.end(), "--events") != args.end()) {
            expectTransmitterReleased(run.events);
        }
        return run;
    }

    // The usual run: sounds from snd/, events printed, rendering to out.wav.
    PlayerRun playMacro(const Lines& options, const std::string& macro) const {
        Lines args{"--sound-dir", "snd", "--events", "--output", "out.wav"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(macro);
        return play(args);
    }

    void expectRendering(const Lines& events, std::int64_t endMs) const {
        const PlayWorkspace::Rendering rendering = workspace_.read("out.wav");
        ASSERT_EQ(rendering.rate, PlayWorkspace::kRenderRate);
        ASSERT_EQ(rendering.channels, 1);
        const std::vector<float> expected = expectedRendering(events, endMs);
        ASSERT_EQ(rendering.samples.size(), expected.size())
            << "rendering is not " << endMs << " ms";
        for (std::size_t frame = 0; frame < expected.size(); ++frame) {
            if (std::fabs(rendering.samples[frame] - expected[frame]) > kSampleTolerance) {
                FAIL() << "first wrong sample at frame " << frame << " (" << frame / kFramesPerMs
                       << " ms): " << rendering.samples[frame] << " instead of " << expected[frame];
            }
        }
    }

    PlayWorkspace workspace_;
    std::string player_;
};

TEST_F(PelkoraPlay, SpellsCallAndReportBetweenTxAndRx) {
    const PlayerRun run = playMacro({"--call", "AB/1"}, "~[tx]~[fcq.wav]~[ec]~[p40]~[er]~[rx]");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Lines expected = {"0 broadcast 111",     "0 ptt on",           "0 play snd/cq.wav",
                            "302 play snd/A.wav",  "604 play snd/B.wav", "906 play snd/stroke.wav",
                            "1208 play snd/1.wav", "1510 pause 400",     "1910 play snd/5.wav",
                            "2212 play snd/9.wav", "2514 broadcast 100", "2514 broadcast 110",
                            "2514 ptt off"};
    EXPECT_EQ(run.events, expected);
    expectRendering(run.events, 2514);
}

TEST_F(PelkoraPlay, SpellsWhatTheOptionsGive) {
    struct Row {
        Lines options;
        std::string macro;
        Lines files;
    };
    const std::vector<Row> rows = {
        {{"--call", "AB/1"}, "~[tx]~[ec]~[rx]", {"A", "B", "stroke", "1"}},
        {{}, "~[tx]~[er]~[rx]", {"5", "9"}},  // the report defaults to 59
        {{"--rs", "15"}, "~[tx]~[er]~[rx]", {"1", "5"}},
        {{"--call", "K1A", "--rs", "95"}, "~[tx]~[er]~[ec]~[rx]", {"9", "5", "K", "1", "A"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.macro);
        const PlayerRun run = playMacro(row.options, row.macro);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        Lines paths;
        for (const PlayedFile& played : playedFiles(run.events)) {
            paths.push_back(played.path);
        }
        Lines expected;
        for (const std::string& name : row.files) {
            expected.push_back("snd/" + name + ".wav");
        }
        EXPECT_EQ(paths, expected);
    }
}

TEST_F(PelkoraPlay, BeaconRepeatsAnIntervalAfterEachRelease) {
    const PlayerRun run = playMacro({"--tx"}, "~[fcq.wav]~[p10]~[f1.wav]~[rp5000:3]");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Inside a repetition ~[p10] is 10 ms and a file plays its full 300 ms.
    // The first repetition keys what --tx keyed already: no second "ptt on".
    Lines expected = {"0 broadcast 111", "0 ptt on"};
    for (int number = 1; number <= 3; ++number) {
        const std::int64_t start = (number - 1) * 5610;
        Lines repetition = {at(start, "beacon " + std::to_string(number)),
                            at(start, "broadcast 111"),
                            at(start, "ptt on"),
                            at(start, "play snd/cq.wav"),
                            at(start + 300, "pause 10"),
                            at(start + 310, "play snd/1.wav"),
                            at(start + 610, "broadcast 100"),
                            at(start + 610, "broadcast 110"),
                            at(start + 610, "ptt off")};
        if (number == 1) {
            repetition.erase(repetition.begin() + 2);
        }
        expected.insert(expected.end(), repetition.begin(), repetition.end());
    }
    EXPECT_EQ(run.events, expected);
    expectRendering(run.events, 11830);
}

TEST_F(PelkoraPlay, EndlessBeaconNeedsABound) {
    const PlayerRun unbounded = playMacro({"--tx"}, "~[fcq.wav]~[rp500:0]");
    EXPECT_EQ(unbounded.exitCode, 4);
    EXPECT_NE(unbounded.err.find("--max-ms"), std::string::npos) << unbounded.err;

    const PlayerRun bounded = playMacro({"--tx", "--max-ms", "3000"}, "~[fcq.wav]~[rp500:0]");
    EXPECT_EQ(bounded.exitCode, 0) << bounded.err;
    const Lines beacons = {"0 beacon 1", "800 beacon 2", "1600 beacon 3", "2400 beacon 4"};
    EXPECT_EQ(matching(bounded.events, "beacon"), beacons);
    // The bound falls between two repetitions: the stop is reported at 3000
    // ms, with no "ptt off" for a transmitter that was not keyed.
    ASSERT_FALSE(bounded.events.empty());
    EXPECT_EQ(bounded.events.back(), "3000 broadcast 110");
    expectRendering(bounded.events, 3000);
}

TEST_F(PelkoraPlay, BoundCutsTheFileOnAir) {
    const PlayerRun run = playMacro({"--tx", "--max-ms", "100"}, "~[fcq.wav]~[f1.wav]");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(matching(run.events, "play"), Lines{"0 play snd/cq.wav"});
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(run.events.back(), "100 ptt off");
    expectRendering(run.events, 100);
}

TEST_F(PelkoraPlay, QueueWithoutTransmitterWaitsAndSaysHowToKeyIt) {
    const PlayerRun run = playMacro({}, "~[fcq.wav]");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("~[tx]"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--tx"), std::string::npos) << run.err;
    EXPECT_TRUE(matching(run.events, "play").empty());
    EXPECT_TRUE(matching(run.events, "ptt on").empty());
}

TEST_F(PelkoraPlay, TransmitterKeyedByOptionIsReleasedAtTheEnd) {
    const PlayerRun run = playMacro({"--tx"}, "~[fcq.wav]");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(matching(run.events, "play"), Lines{"0 play snd/cq.wav"});
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(run.events.back(), "302 ptt off");
    expectRendering(run.events, 302);
}

TEST_F(PelkoraPlay, MalformedBeaconIsReportedAndNothingPlays) {
    const PlayerRun run = playMacro({}, "~[tx]~[fcq.wav]~[rp5000]");
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_EQ(matching(run.events, "error"), Lines{"0 error Wrong ~[rp] command syntax!"});
    EXPECT_TRUE(matching(run.events, "play").empty());
    EXPECT_NE(run.err.find("Wrong ~[rp] command syntax!"), std::string::npos) << run.err;
}

// The syntax error is known when the macro is expanded: it is the verdict
// whether or not anything keyed the transmitter.
TEST_F(PelkoraPlay, MalformedBeaconIsNotBlamedOnAnUnkeyedTransmitter) {
    for (const Lines& options : {Lines{"--tx"}, Lines{}}) {
        SCOPED_TRACE(options.empty() ? "without --tx" : "with --tx");
        const PlayerRun run = playMacro(options, "~[fcq.wav]~[rp5000]");
        EXPECT_EQ(run.exitCode, 5);
        EXPECT_EQ(run.err.find("waits for the transmitter"), std::string::npos) << run.err;
    }
}

TEST_F(PelkoraPlay, UnreadableFilesAreSkippedAndTheRestPlays) {
    workspace_.writeText("snd/garbage.wav", std::string(100, '\x5a'));
    workspace_.writeText("snd/empty.wav", "");
    workspace_.makeDirectory("snd/x.wav");
    for (const std::string name : {"missing.wav", "garbage.wav", "empty.wav", "x.wav"}) {
        SCOPED_TRACE(name);
        const PlayerRun run = playMacro({"--tx"}, "~[f" + name + "]~[fcq.wav]");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const Lines expected = {"0 broadcast 111",   "0 ptt on",          "0 skip snd/" + name,
                                "0 play snd/cq.wav", "302 broadcast 100", "302 broadcast 110",
                                "302 ptt off"};
        EXPECT_EQ(run.events, expected);
        EXPECT_NE(run.err.find("snd/" + name), std::string::npos) << run.err;
        expectRendering(run.events, 302);
    }
}

// A sound directory copied from a Windows machine: the names differ in case
// from what the macro asks for. The file is found; the events keep the name as
// the macro wrote it, and the rendering holds the file's own sound.
TEST_F(PelkoraPlay, FilesAreFoundWhenOnlyTheCaseOfTheirNamesDiffers) {
    struct Row {
        std::string onDisk;   // the test's recording, renamed to this
        std::string written;  // the name the macro makes
        Lines options;
        std::string macro;
    };
    const std::vector<Row> rows = {
        {"CQ.WAV", "cq.wav", {}, "~[tx]~[fcq.wav]~[f1.wav]~[rx]"},
        {"k.WAV", "K.wav", {"--call", "K1A"}, "~[tx]~[ec]~[rx]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.macro);
        std::filesystem::rename(workspace_.file("snd/" + row.written),
                                workspace_.file("snd/" + row.onDisk));
        const PlayerRun run = playMacro(row.options, row.macro);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(matching(run.events, "skip").empty()) << run.err;
        const Lines played = matching(run.events, "play snd/" + row.written);
        EXPECT_EQ(played.size(), 1U);
        expectRendering(run.events, playedFiles(run.events).back().ms + 302);
        std::filesystem::rename(workspace_.file("snd/" + row.onDisk),
                                workspace_.file("snd/" + row.written));
    }
}

TEST_F(PelkoraPlay, IniSuppliesExternalIniAndSoundDir) {
    // The bare ExternalIni name must be found beside pelkora.ini, not in the
    // working directory, where a decoy with another call waits.
    workspace_.writeText("cfg/pelkora.ini",
                         "[Config]\nExternalIni=log.ini\nExternalIniSection=Contest\n"
                         "[Paths]\nSoundDir=" +
                             workspace_.file("snd/") + "\n");
    workspace_.writeText("cfg/log.ini", "[Contest]\nCall=K1A\n");
    workspace_.writeText("log.ini", "[Contest]\nCall=B5\n");
    const std::string sounds = workspace_.file("snd/");
    const PlayerRun fromIni =
        play({"--ini", "cfg/pelkora.ini", "--events", "--output", "out.wav", "~[tx]~[iCall]"});
    EXPECT_EQ(fromIni.exitCode, 0) << fromIni.err;
    EXPECT_EQ(matching(fromIni.events, "play"),
              (Lines{"0 play " + sounds + "K.wav", "302 play " + sounds + "1.wav",
                     "604 play " + sounds + "A.wav"}));

    const PlayerRun overridden = play({"--ini", "cfg/pelkora.ini", "--sound-dir", "snd", "--events",
                                       "--output", "out.wav", "~[tx]~[iCall]"});
    EXPECT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(matching(overridden.events, "play"),
              (Lines{"0 play snd/K.wav", "302 play snd/1.wav", "604 play snd/A.wav"}));
    expectRendering(overridden.events, 906);
}

TEST_F(PelkoraPlay, TimeOutReleasesAContinuousKeyingAndEndsTheRun) {
    const PlayerRun run = playMacro({"--tx", "--tx-timeout", "1"}, "~[fcq.wav]~[p200]~[f1.wav]");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(matching(run.events, "play"), Lines{"0 play snd/cq.wav"});
    EXPECT_EQ(matching(run.events, "ptt off"), Lines{"1000 ptt off"});
    EXPECT_EQ(matching(run.events, "timeout"), Lines{"1000 timeout 1"});
    EXPECT_NE(run.err.find("released after 1 s (time-out)"), std::string::npos) << run.err;
    expectRendering(run.events, 1000);

    // A time-out that does not fall keeps nothing waiting: the run ends
    // where it always did.
    const PlayerRun quick = playMacro({"--tx", "--tx-timeout", "30"}, "~[fcq.wav]");
    EXPECT_EQ(quick.exitCode, 0) << quick.err;
    ASSERT_FALSE(quick.events.empty());
    EXPECT_EQ(quick.events.back(), "302 ptt off");
}

TEST_F(PelkoraPlay, LeadAndTailComeFromTheSettingsFile) {
    workspace_.writeText("cfg/pelkora.ini", "[PTT]\nLeadMs=100\nTailMs=50\nTimeoutSeconds=x\n");
    const PlayerRun run = play({"--ini", "cfg/pelkora.ini", "--sound-dir", "snd", "--events",
                                "--output", "out.wav", "~[tx]~[fcq.wav]~[rx]"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.events, (Lines{"0 broadcast 111", "0 ptt on", "100 play snd/cq.wav",
                                 "452 broadcast 100", "452 broadcast 110", "452 ptt off"}));
    EXPECT_NE(run.err.find("[PTT] TimeoutSeconds=x is not a whole number"), std::string::npos)
        << run.err;
    expectRendering(run.events, 452);
}

TEST_F(PelkoraPlay, BadArgumentsGiveUsageAndTouchNothing) {
    struct Row {
        Lines args;
        std::string complaint;
    };
    const std::vector<Row> rows = {
        {{"--bogus", "--output", "out.wav", "~[fcq.wav]"}, "unknown option --bogus"},
        {{"--port", "COM1", "--output", "out.wav", "~[fcq.wav]"}, "do not go with --output"},
        {{"--port", "COM9", "~[fcq.wav]"}, "COM1..COM8"},
        {{"--line", "cts", "~[fcq.wav]"}, "rts, dtr or both"},
        {{"--key", "F13", "--output", "out.wav"}, "F1..F12"},
        {{"--key", "F2", "--output", "out.wav", "~[fcq.wav]"}, "not both"},
        {{"--device", "ttyUSB0", "~[fcq.wav]"}, "absolute"},
        {{"--tx", "--output", "out.wav"}, "no macro given"},
        {{"--max-ms", "abc", "--output", "out.wav", "~[fcq.wav]"}, "'abc'"},
        {{"--max-ms", "-5", "--output", "out.wav", "~[fcq.wav]"}, "'-5'"},
        {{"--max-ms", "12x", "--output", "out.wav", "~[fcq.wav]"}, "'12x'"},
        {{"--output", "out.wav", "~[fcq.wav]", "~[f1.wav]"}, "one argument"},
        {{"~[fcq.wav]", "--output"}, "--output needs a value"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.complaint);
        const PlayerRun run = play(row.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(row.complaint), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("usage: pelkora-play"), std::string::npos) << run.err;
        EXPECT_TRUE(run.events.empty());
        EXPECT_FALSE(workspace_.exists("out.wav"));
    }
}

// An output that cannot be created is a bad argument found before anything
// is keyed; an empty name is no quiet switch to a live run on the station's port.
TEST_F(PelkoraPlay, OutputThatCannotBeWrittenIsRefusedBeforeAnythingIsKeyed) {
    struct Row {
        std::string output;
        Lines extra;
        std::string complaint;
    };
    const std::vector<Row> rows = {
        {"no-such-dir/out.wav", {}, "no-such-dir/out.wav"},
        {"", {}, "--output needs a file name"},
        {"out.wav", {"--max-ms", "999999999999"}, "longer than a WAV file can hold"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.complaint);
        Lines args{"--sound-dir", "snd", "--tx", "--events", "--output", row.output};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        args.push_back("~[fcq.wav]");
        const PlayerRun run = play(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(row.complaint), std::string::npos) << run.err;
        EXPECT_TRUE(run.events.empty());
        EXPECT_FALSE(workspace_.exists("no-such-dir"));
        EXPECT_FALSE(workspace_.exists("out.wav"));
    }
}

// Every byte of a name reaches the events, but none can start a line of its
// own or reach the terminal as a control sequence.
TEST_F(PelkoraPlay, ControlCharactersInEventArgumentsAreEscaped) {
    struct Row {
        std::string name;
        std::string printed;
    };
    const std::vector<Row> rows = {
        {"x\n251 ptt off", "x\\n251 ptt off"},
        {"tab\there", "tab\\there"},
        {"cr\r", "cr\\r"},
        {"\x1b[2Jclear", "\\x1b[2Jclear"},
        {"bell\a del\x7f", "bell\\x07 del\\x7f"},
        {"back\\slash", "back\\\\slash"},
        {"caf\xc3\xa9 /1", "caf\xc3\xa9 /1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.printed);
        const PlayerRun run = playMacro({"--tx"}, "~[f" + row.name + ".wav]~[fcq.wav]");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const Lines expected = {
            "0 broadcast 111",   "0 ptt on",          "0 skip snd/" + row.printed + ".wav",
            "0 play snd/cq.wav", "302 broadcast 100", "302 broadcast 110",
            "302 ptt off"};
        EXPECT_EQ(run.events, expected);
        EXPECT_NE(run.err.find("snd/" + row.printed + ".wav"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    }
}

// An exception in the middle of a keyer operation (here thrown right after
// "ptt on" is printed) still ends with the transmitter released and the
// fault reported.
TEST_F(PelkoraPlay, ExceptionReleasesTheTransmitterAndIsReported) {
    const std::string preload =
        std::filesystem::path(player_).parent_path() / "libpelkora_play_preload.so";
    ASSERT_EQ(::access(preload.c_str(), R_OK), 0) << preload;
    ChildProcess player(
        player_, {"--sound-dir", "snd", "--events", "--output", "out.wav", "~[tx]~[fcq.wav]~[rx]"},
        workspace_.path(),
        {"LD_PRELOAD=" + preload, "PELKORA_TEST_THROW_AT_FLUSH=2",
         "ASAN_OPTIONS=verify_asan_link_order=0"});
    const ChildProcess::Result result = player.finish(std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 6) << result.err;
    const Lines expected = {"0 broadcast 111", "0 ptt on",
                            "0 broadcast 100", "0 broadcast 110",
                            "0 ptt off",       "0 error internal error: std::bad_alloc"};
    EXPECT_EQ(splitLines(result.out), expected);
    EXPECT_NE(result.err.find("internal error"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace pelkora::test
