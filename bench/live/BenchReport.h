#pragma once

#include <string>

#include "BenchFigures.h"
#include "BenchSound.h"
#include "RoundResult.h"

namespace pelkora::bench {

// Prints the figures as a table, and pelkora-play's against its goals.
// Threading: one thread.
class BenchReport {
  public:
    static constexpr double kGapAllowanceMs = 1.0;  // beyond the header's own time
    static constexpr double kCpuGoalPercent = 1.0;
    static constexpr double kRssGoalMib = 20.0;
    static constexpr double kKnownPaplayLatencyMs = 4.5;  // one paplay, on an idle machine

    explicit BenchReport(const BenchSound& sound) : sound_(sound) {}

    static void printCommands(const RoundResult& round);
    void printTable(const std::string& title, const BenchFigures& figures) const;
    // True when every goal was measured and met.
    bool printGoals(const BenchFigures& figures) const;

  private:
    BenchSound sound_;
};

}  // namespace pelkora::bench
