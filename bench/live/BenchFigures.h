#pragma once

#include <string>
#include <vector>

#include "RoundResult.h"

namespace pelkora::bench {

// The figures the report prints, one row a command: taken from one round, or
// the median of several, each figure over the rounds that measured it, so that
// one round disturbed by other work on the machine does not decide.
struct BenchFigures {
    struct Row {
        char key = '?';
        std::string label;
        std::string problem;  // why there are no figures, or a note beside them
        bool measured = false;
        bool hasGaps = false;
        double latencyMs = 0;
        double gapMeanMs = 0;
        double gapMaxMs = 0;
        double spanMs = 0;
        double cpuMs = 0;
        double peakRssKb = -1;  // -1: not the whole command's (a shell and its children)
    };
    struct Waiting {
        std::string problem;
        double windowSeconds = 0;
        double schedPercent = 0;
        double tickPercent = 0;
        double peakRssKb = 0;
    };

    std::vector<Row> rows;
    Waiting waiting;

    const Row* row(char key) const;

    static BenchFigures of(const RoundResult& round);
    static BenchFigures median(const std::vector<RoundResult>& rounds);
};

}  // namespace pelkora::bench
