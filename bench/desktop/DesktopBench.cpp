#include "DesktopBench.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "BenchCommand.h"
#include "BenchFigures.h"
#include "BusyLoad.h"
#include "DesktopReport.h"
#include "LiveBench.h"
#include "PlaybackTimeline.h"

namespace pelkora::bench {
namespace {

using namespace std::chrono_literals;
using test::MonitorRecorder;

constexpr auto kSettle = 300ms;     // silence on the sink before each command
constexpr auto kLastBlocks = 50ms;  // until the monitor has delivered a run's end
constexpr auto kRunTimeout = 20s;
constexpr auto kLoadSettle = 1s;        // the busy loops have the cores before the first round
constexpr double kSoundPatience = 8.0;  // seconds from the key to the macro's last sample
constexpr double kLookAgain = 0.25;     // seconds between looks at a macro still playing
constexpr double kLengthSlackMs = 3.0;

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Whether the whole macro has sounded and the monitor has delivered its end.
bool macroOver(const PlaybackTimeline::Figures& figures,
               const MonitorRecorder::Recording& recording, double startedAt, double soundMs) {
    if (!figures.heardInOrder || figures.lengthsMs.empty() ||
        figures.lengthsMs.back() < soundMs - kLengthSlackMs) {
        return false;
    }
    const double endsAt = startedAt + (figures.latencyMs + figures.spanMs) / 1000.0;
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    return recording.timeOf(frames) > endsAt + std::chrono::duration<double>(kLastBlocks).count();
}

}  // namespace

DesktopBench::DesktopBench(Options options)
    : options_(std::move(options)), keys_(options_.window) {}

bool DesktopBench::readSounds() {
    for (const char* name : LiveBench::kFileNames) {
        std::string error;
        const auto sound = BenchSound::read(options_.soundsDir + "/" + name, error);
        if (!sound) {
            std::fprintf(stderr, "desktop bench: %s\n", error.c_str());
            return false;
        }
        sounds_.push_back(*sound);
    }
    return true;
}

std::vector<DesktopBench::Command> DesktopBench::commands() const {
    std::string macro = "~[tx]";
    for (const char* name : LiveBench::kFileNames) {
        macro += std::string("~[f") + name + "]";
    }
    macro += "~[rx]";
    const std::size_t all = std::size(LiveBench::kFileNames);
    return {
        {'a', "pelkora, XTest key -> sink", {}, all, false},
        {'b', "pelkora, xdotool exec -> sink", {"xdotool", "key", options_.key}, all, false},
        {'c', "pelkora-play exec -> sink", {options_.player, "--sound-dir", ".", macro}, all, true},
        {'d', "paplay A.wav exec -> sink", {"paplay", LiveBench::kFileNames[0]}, 1, true},
    };
}

std::vector<float> DesktopBench::levels(std::size_t files) const {
    std::vector<float> each;
    for (std::size_t index = 0; index < files; ++index) {
        each.push_back(sounds_[index].level);
    }
    return each;
}

// The desktop program plays on after the key: the recording is looked at
// until the macro's last file has ended, or for kSoundPatience at most.
PlaybackTimeline::Figures DesktopBench::awaitDesktopSound(std::int64_t from, double startedAt) {
    const double soundMs = sounds_.front().soundMs;
    const std::vector<float> all = levels(sounds_.size());
    double lookAt = startedAt + static_cast<double>(sounds_.size()) * soundMs / 1000.0 + kLookAgain;
    for (;;) {
        sleepUntil(lookAt);
        const MonitorRecorder::Recording recording = recorder_.snapshot();
        PlaybackTimeline::Figures figures =
            PlaybackTimeline::measure(recording, from, startedAt, all, soundMs);
        if (macroOver(figures, recording, startedAt, soundMs) ||
            lookAt - startedAt >= kSoundPatience) {
            return figures;
        }
        lookAt += kLookAgain;
    }
}

ScenarioResult DesktopBench::pressKey() {
    const Command command = commands().front();
    ScenarioResult result;
    result.key = command.key;
    result.label = command.label;
    result.command = "XTestFakeKeyEvent(" + options_.key + ") + XFlush";
    result.singleProcess = false;
    std::this_thread::sleep_for(kSettle);
    result.error = keys_.ensureFocus();
    if (!result.error.empty()) {
        return result;
    }
    const auto from = static_cast<std::int64_t>(recorder_.snapshot().levels.size());
    try {
        const double pressedAt = keys_.tap(options_.key);
        result.ended.exitCode = 0;
        result.figures = awaitDesktopSound(from, pressedAt);
        stamp(pressedAt, result.figures);
    } catch (const std::exception& failure) {
        result.error = failure.what();
    }
    return result;
}

void DesktopBench::stamp(double pressedAt, const PlaybackTimeline::Figures& figures) const {
    if (options_.stampsPath.empty() || !figures.heardInOrder) {
        return;
    }
    std::ofstream stamps(options_.stampsPath, std::ios::app);
    char line[64];
    std::snprintf(line, sizeof line, "%.6f %.6f\n", pressedAt,
                  pressedAt + figures.latencyMs / 1000.0);
    stamps << line;
}

ScenarioResult DesktopBench::runKeyCommand(const Command& command) {
    ScenarioResult result;
    result.key = command.key;
    result.label = command.label;
    result.command = commandLine(command.argv);
    result.singleProcess = false;
    std::this_thread::sleep_for(kSettle);
    result.error = keys_.ensureFocus();
    if (!result.error.empty()) {
        return result;
    }
    const auto from = static_cast<std::int64_t>(recorder_.snapshot().levels.size());
    try {
        BenchProcess process(command.argv, options_.soundsDir, options_.logPath);
        result.ended = process.wait(kRunTimeout);
        result.error = endError(result.ended, kRunTimeout);
        result.figures = awaitDesktopSound(from, process.startedAt());
    } catch (const std::exception& failure) {
        result.error = failure.what();
    }
    return result;
}

ScenarioResult DesktopBench::runCommand(const Command& command) {
    ScenarioResult result;
    result.key = command.key;
    result.label = command.label;
    result.command = commandLine(command.argv);
    result.singleProcess = command.singleProcess;
    std::this_thread::sleep_for(kSettle);
    const auto from = static_cast<std::int64_t>(recorder_.snapshot().levels.size());
    try {
        BenchProcess process(command.argv, options_.soundsDir, options_.logPath);
        result.ended = process.wait(kRunTimeout);
        result.error = endError(result.ended, kRunTimeout);
        std::this_thread::sleep_for(kLastBlocks);
        result.figures = PlaybackTimeline::measure(recorder_.snapshot(), from, process.startedAt(),
                                                   levels(command.files), sounds_.front().soundMs);
    } catch (const std::exception& failure) {
        result.error = failure.what();
    }
    return result;
}

RoundResult DesktopBench::playRound() {
    RoundResult round;
    const std::vector<Command> all = commands();
    round.scenarios.push_back(pressKey());
    round.scenarios.push_back(runKeyCommand(all[1]));
    round.scenarios.push_back(runCommand(all[2]));
    round.scenarios.push_back(runCommand(all[3]));
    round.waiting.error = "not measured here";
    return round;
}

std::vector<RoundResult> DesktopBench::playRounds(const std::string& condition) {
    std::vector<RoundResult> rounds;
    for (int round = 1; round <= options_.rounds; ++round) {
        rounds.push_back(playRound());
        const std::string title =
            "round " + std::to_string(round) + ", load average " + loadAverage();
        std::fputs(
            DesktopReport::table(title, {{condition, BenchFigures::of(rounds.back())}}).c_str(),
            stdout);
        std::fflush(stdout);
    }
    return rounds;
}

int DesktopBench::run() {
    if (!readSounds()) {
        return 2;
    }
    const std::string error = recorder_.start();
    if (!error.empty()) {
        std::fprintf(stderr, "desktop bench: %s\n", error.c_str());
        return 2;
    }
    std::printf("commands (run in the sound folder):\n");
    for (const Command& command : commands()) {
        std::printf("  (%c) %s\n", command.key,
                    command.argv.empty() ? ("XTest " + options_.key + " in window " +
                                            std::to_string(options_.window))
                                               .c_str()
                                         : commandLine(command.argv).c_str());
    }
    // The server's and the desktop's first stream of a run pay for warming up.
    runCommand(commands().back());
    pressKey();

    std::vector<DesktopReport::Condition> conditions;
    std::printf("\nidle: load average %s\n", loadAverage().c_str());
    conditions.push_back({"idle", BenchFigures::median(playRounds("idle"))});
    if (options_.loadLoops > 0) {
        const std::string name = "loaded (" + std::to_string(options_.loadLoops) + " busy loops)";
        const BusyLoad load(options_.loadLoops);
        std::this_thread::sleep_for(kLoadSettle);
        std::printf("\n%s\n", name.c_str());
        conditions.push_back({name, BenchFigures::median(playRounds(name))});
    }
    std::printf("\n%s", DesktopReport::table("median of " + std::to_string(options_.rounds) +
                                                 " rounds, first sample on the sink",
                                             conditions)
                            .c_str());
    for (const DesktopReport::Condition& condition : conditions) {
        for (const BenchFigures::Row& row : condition.figures.rows) {
            if (!row.measured) {
                return 2;
            }
        }
    }
    return 0;
}

}  // namespace pelkora::bench
