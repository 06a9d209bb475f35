#pragma once

#include <string>
#include <vector>

#include "BenchSound.h"
#include "LatencySummary.h"
#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {

// A logger's voice message three ways, side by side, idle and with every core
// busy: the keyer's PlayMacros called over the bus (call to reply), the same
// macro through `pelkora-ctl play` and through a fresh `pelkora-play`, both
// from exec to the first sample on the null sink. The running keyer's sound
// folder and pelkora-play's are the same, and hold A.wav.
// Threading: the QCoreApplication's thread (the recorder records on its own).
class CtlBench {
  public:
    struct Options {
        std::string ctl;        // pelkora-ctl
        std::string player;     // pelkora-play
        std::string soundsDir;  // holds A.wav, the keyer's SoundDir
        std::string logPath;    // the commands' output
        int rounds = 10;
        int loadLoops = 2;
    };

    struct Row {
        std::string label;
        std::vector<double> idleMs;
        std::vector<double> loadMs;
        std::vector<std::string> problems;
    };

    explicit CtlBench(Options options);
    // 0 when pelkora-ctl started sound sooner than pelkora-play by the median
    // in both conditions, 1 when not, 2 when it could not measure.
    int run();

    static std::string table(const std::vector<Row>& rows);

  private:
    void round(std::vector<Row>& rows, bool loaded);
    bool roundTrip(double& ms, std::string& problem);
    bool firstSample(const std::vector<std::string>& argv, double& ms, std::string& problem);
    void settle() const;

    Options options_;
    BenchSound sound_;
    test::MonitorRecorder recorder_;
};

}  // namespace pelkora::bench
