#pragma once

#include <string>
#include <vector>

#include "BenchProcess.h"
#include "PlaybackTimeline.h"

namespace pelkora::bench {

// One command playing the five files, as measured.
struct ScenarioResult {
    char key = '?';  // a..d, as the report names them
    std::string label;
    std::string command;
    std::string error;          // empty when the command ran to its end
    bool singleProcess = true;  // its peak memory is the whole command's
    BenchProcess::Ended ended;
    PlaybackTimeline::Figures figures;
};

// The player keyed and pausing, with nothing to play.
struct WaitingResult {
    std::string command;
    std::string error;
    double windowSeconds = 0;
    double schedPercent = 0;  // from the threads' schedstat
    double tickPercent = 0;   // from utime + stime
    long peakRssKb = 0;
};

// Every command once, then the waiting player.
struct RoundResult {
    std::vector<ScenarioResult> scenarios;
    WaitingResult waiting;
};

}  // namespace pelkora::bench
