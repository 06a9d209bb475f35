#include "LiveBench.h"

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "BenchCommand.h"
#include "BenchFigures.h"
#include "BenchReport.h"
#include "PlaybackTimeline.h"
#include "ProcessCpu.h"

namespace pelkora::bench {
namespace {

using namespace std::chrono_literals;
using test::MonitorRecorder;

constexpr auto kSettle = 300ms;     // silence on the sink before each command
constexpr auto kLastBlocks = 50ms;  // until the monitor has delivered a run's end
constexpr auto kRunTimeout = 20s;
constexpr int kPauses = 10;           // ~[p100] is one second
constexpr double kWindowFrom = 0.25;  // seconds after the start: the player is up and pausing
constexpr double kWindowTo = 10.0;    // before the last pause ends

}  // namespace

LiveBench::LiveBench(Options options) : options_(std::move(options)) {}

bool LiveBench::readSounds() {
    for (const char* name : kFileNames) {
        std::string error;
        const auto sound = BenchSound::read(options_.soundsDir + "/" + name, error);
        if (!sound) {
            std::fprintf(stderr, "live bench: %s\n", error.c_str());
            return false;
        }
        sounds_.push_back(*sound);
    }
    return true;
}

std::vector<LiveBench::Scenario> LiveBench::scenarios() const {
    std::string macro = "~[tx]";
    std::vector<std::string> play{"play", "-q"};
    for (const char* name : kFileNames) {
        macro += std::string("~[f") + name + "]";
        play.emplace_back(name);
    }
    macro += "~[rx]";
    return {
        {'a', "pelkora-play", {options_.player, "--sound-dir", ".", macro}, 5, true},
        {'b',
         "sh loop, paplay per file",
         {"sh", "-c", "for f in A B C D E; do paplay \"$f.wav\"; done"},
         5,
         false},
        {'c', "sox play, one call", play, 5, true},
        {'d', "paplay, one file", {"paplay", kFileNames[0]}, 1, true},
    };
}

ScenarioResult LiveBench::play(const Scenario& scenario) {
    ScenarioResult result;
    result.key = scenario.key;
    result.label = scenario.label;
    result.command = commandLine(scenario.argv);
    result.singleProcess = scenario.singleProcess;
    std::vector<float> levels;
    for (std::size_t index = 0; index < scenario.files; ++index) {
        levels.push_back(sounds_[index].level);
    }
    std::this_thread::sleep_for(kSettle);
    const auto from = static_cast<std::int64_t>(recorder_.snapshot().levels.size());
    try {
        BenchProcess process(scenario.argv, options_.soundsDir, options_.logPath);
        result.ended = process.wait(kRunTimeout);
        result.error = endError(result.ended, kRunTimeout);
        std::this_thread::sleep_for(kLastBlocks);
        result.figures = PlaybackTimeline::measure(recorder_.snapshot(), from, process.startedAt(),
                                                   levels, sounds_.front().soundMs);
    } catch (const std::exception& failure) {
        result.error = failure.what();
    }
    return result;
}

WaitingResult LiveBench::waitKeyed() {
    std::string macro = "~[tx]";
    for (int pause = 0; pause < kPauses; ++pause) {
        macro += "~[p100]";
    }
    macro += "~[rx]";
    const std::vector<std::string> argv{options_.player, "--sound-dir", ".", macro};
    WaitingResult result;
    result.command = commandLine(argv);
    try {
        BenchProcess process(argv, options_.soundsDir, options_.logPath);
        sleepUntil(process.startedAt() + kWindowFrom);
        const auto first = ProcessCpu::read(process.pid());
        sleepUntil(process.startedAt() + kWindowTo);
        const auto last = ProcessCpu::read(process.pid());
        const BenchProcess::Ended ended = process.wait(kRunTimeout);
        result.peakRssKb = ended.peakRssKb;
        result.error =
            first && last ? endError(ended, kRunTimeout) : "the player ended before the window";
        if (first && last) {
            result.windowSeconds = last->wallSeconds - first->wallSeconds;
            result.schedPercent = ProcessCpu::schedPercent(*first, *last);
            result.tickPercent = ProcessCpu::tickPercent(*first, *last);
        }
    } catch (const std::exception& failure) {
        result.error = failure.what();
    }
    return result;
}

RoundResult LiveBench::playRound(const std::vector<Scenario>& all) {
    RoundResult round;
    for (const Scenario& scenario : all) {
        round.scenarios.push_back(play(scenario));
    }
    round.waiting = waitKeyed();
    return round;
}

int LiveBench::run() {
    if (!readSounds()) {
        return 2;
    }
    const std::string error = recorder_.start();
    if (!error.empty()) {
        std::fprintf(stderr, "live bench: %s\n", error.c_str());
        return 2;
    }
    const std::vector<Scenario> all = scenarios();
    // The server's first stream of a run pays for warming up: no command should.
    play(all.back());
    const BenchReport report(sounds_.front());
    std::vector<RoundResult> rounds;
    bool allMet = true;
    for (int round = 1; round <= options_.rounds; ++round) {
        rounds.push_back(playRound(all));
        if (round == 1) {
            BenchReport::printCommands(rounds.back());
        }
        const BenchFigures figures = BenchFigures::of(rounds.back());
        report.printTable("round " + std::to_string(round), figures);
        allMet = report.printGoals(figures);
        std::fflush(stdout);
    }
    if (rounds.size() > 1) {
        const BenchFigures figures = BenchFigures::median(rounds);
        report.printTable("median of " + std::to_string(rounds.size()) + " rounds", figures);
        allMet = report.printGoals(figures);
    }
    return allMet ? 0 : 1;
}

}  // namespace pelkora::bench
