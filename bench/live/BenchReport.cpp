#include "BenchReport.h"

#include <algorithm>
#include <cstdio>

namespace pelkora::bench {
namespace {

using Row = BenchFigures::Row;

double mib(double kb) {
    return kb / 1024.0;
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void printRow(const Row& row) {
    const std::string label = std::string("(") + row.key + ") " + row.label;
    if (!row.measured) {
        std::printf("  %-28s %s\n", label.c_str(), row.problem.c_str());
        return;
    }
    const std::string gapMean = row.hasGaps ? format("%.2f ms", row.gapMeanMs) : "-";
    const std::string gapMax = row.hasGaps ? format("%.2f ms", row.gapMaxMs) : "-";
    const std::string rss = row.peakRssKb >= 0 ? format("%.1f MiB", mib(row.peakRssKb)) : "n/a";
    std::printf("  %-28s %6.2f ms %9s %9s %7.1f ms %6.0f ms %9s\n", label.c_str(), row.latencyMs,
                gapMean.c_str(), gapMax.c_str(), row.spanMs, row.cpuMs, rss.c_str());
    if (!row.problem.empty()) {
        std::printf("  %-28s note: %s\n", "", row.problem.c_str());
    }
}

bool printGoal(const char* what, const std::string& goal, const std::string& figure, bool met) {
    std::printf("  %-34s %-30s %-12s %s\n", what, goal.c_str(), figure.c_str(),
                met ? "met" : "NOT MET");
    return met;
}

}  // namespace

void BenchReport::printCommands(const RoundResult& round) {
    std::printf("commands (run in the sound folder; PULSE_SERVER names the private server):\n");
    for (const ScenarioResult& result : round.scenarios) {
        std::printf("  (%c) %s\n", result.key, result.command.c_str());
    }
    std::printf("  (e) %s\n", round.waiting.command.c_str());
}

void BenchReport::printTable(const std::string& title, const BenchFigures& figures) const {
    std::printf("\n%s: five files of %.0f ms back to back (16 kHz 16-bit mono)\n", title.c_str(),
                sound_.soundMs);
    std::printf("  %-28s %9s %9s %9s %10s %9s %9s\n", "command", "latency", "gap mean", "gap max",
                "span", "CPU", "peak RSS");
    for (const Row& row : figures.rows) {
        printRow(row);
    }
    const BenchFigures::Waiting& waiting = figures.waiting;
    if (!waiting.problem.empty()) {
        std::printf("  (e) pelkora-play keyed, pausing: %s\n", waiting.problem.c_str());
        return;
    }
    std::printf(
        "  (e) pelkora-play keyed, pausing: %.3f %% of one core over %.2f s "
        "(utime+stime: %.2f %%)\n",
        waiting.schedPercent, waiting.windowSeconds, waiting.tickPercent);
    std::printf("  (f) pelkora-play peak RSS: %.1f MiB playing (a), %.1f MiB pausing (e)\n",
                mib(figures.row('a') != nullptr ? figures.row('a')->peakRssKb : 0),
                mib(waiting.peakRssKb));
}

bool BenchReport::printGoals(const BenchFigures& figures) const {
    const Row* player = figures.row('a');
    const Row* paplay = figures.row('d');
    const bool playerMeasured = player != nullptr && player->measured;
    std::printf("  goals of pelkora-play:\n");
    bool allMet =
        playerMeasured && paplay != nullptr && paplay->measured && figures.waiting.problem.empty();
    if (playerMeasured && paplay != nullptr && paplay->measured) {
        allMet &=
            printGoal("(a) latency <= one paplay (d)",
                      format("<= %.2f ms", paplay->latencyMs) +
                          format(" (idle: %.1f)", kKnownPaplayLatencyMs),
                      format("%.2f ms", player->latencyMs), player->latencyMs <= paplay->latencyMs);
    }
    if (playerMeasured) {
        const double limit = sound_.headerMs() + kGapAllowanceMs;
        allMet &= printGoal("(a) gap max <= header time + 1 ms",
                            format("<= %.3f ms", limit) + format(" (%.3f + 1)", sound_.headerMs()),
                            format("%.2f ms", player->gapMaxMs), player->gapMaxMs <= limit);
    }
    if (figures.waiting.problem.empty()) {
        allMet &=
            printGoal("(e) CPU while waiting", format("< %.0f %% of one core", kCpuGoalPercent),
                      format("%.3f %%", figures.waiting.schedPercent),
                      figures.waiting.schedPercent < kCpuGoalPercent);
    }
    const double peakKb =
        std::max(playerMeasured ? player->peakRssKb : 0.0, figures.waiting.peakRssKb);
    allMet &= printGoal("(f) peak RSS", format("< %.0f MiB", kRssGoalMib),
                        peakKb > 0 ? format("%.1f MiB", mib(peakKb)) : "-",
                        peakKb > 0 && mib(peakKb) < kRssGoalMib);
    return allMet;
}

}  // namespace pelkora::bench
