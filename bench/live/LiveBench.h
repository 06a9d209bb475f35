#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "BenchSound.h"
#include "RoundResult.h"
#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {

// Plays the five sound files with pelkora-play and with what an operator
// would otherwise use, one command after the other on the sound server that
// PULSE_SERVER names, and records the null sink's monitor the whole time:
// what it records is what would go on air.
// Threading: one thread (the recorder records on its own).
class LiveBench {
  public:
    struct Options {
        std::string player;     // the pelkora-play binary
        std::string soundsDir;  // holds A.wav .. E.wav
        std::string logPath;    // the commands' output goes here
        int rounds = 1;
    };

    static constexpr const char* kFileNames[] = {"A.wav", "B.wav", "C.wav", "D.wav", "E.wav"};

    explicit LiveBench(Options options);
    // 0 when every goal was met (by the median, with several rounds), 1 when
    // one was not, 2 when it could not measure.
    int run();

  private:
    struct Scenario {
        char key;
        std::string label;
        std::vector<std::string> argv;
        std::size_t files;
        bool singleProcess;
    };

    bool readSounds();
    std::vector<Scenario> scenarios() const;
    ScenarioResult play(const Scenario& scenario);
    RoundResult playRound(const std::vector<Scenario>& all);
    WaitingResult waitKeyed();

    Options options_;
    std::vector<BenchSound> sounds_;
    test::MonitorRecorder recorder_;
};

}  // namespace pelkora::bench
