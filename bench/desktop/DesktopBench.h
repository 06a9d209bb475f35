#pragma once

#include <string>
#include <vector>

#include "BenchSound.h"
#include "RoundResult.h"
#include "XKeySender.h"
#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {

// From a key press to the first sample on the sink: the desktop program's
// macro key (pressed through XTest, and by `xdotool key`) against
// pelkora-play with the same macro and one paplay, on the sound server that
// PULSE_SERVER names, whose null sink's monitor is recorded the whole time.
// The desktop program is already running, its window on the X server that
// DISPLAY names, its macro key bound to the five files. Each round runs every
// command once; the rounds run on an idle machine, then again with busy
// loops on the cores.
// Threading: one thread (the recorder records on its own).
class DesktopBench {
  public:
    struct Options {
        std::string player;     // the pelkora-play binary
        std::string soundsDir;  // holds A.wav .. E.wav
        std::string logPath;    // the commands' output goes here
        XKeySender::WindowId window = 0;
        std::string key = "F2";
        int rounds = 5;
        int loadLoops = 2;  // busy loops for the loaded rounds; 0: none
        // When set, each XTest press appends "<pressed> <first sample>" here
        // (CLOCK_MONOTONIC seconds), to line up with timings taken inside the program.
        std::string stampsPath;
    };

    explicit DesktopBench(Options options);
    // 0 when every command was measured in every condition, 2 when not.
    int run();

  private:
    struct Command {
        char key;
        std::string label;
        std::vector<std::string> argv;
        std::size_t files;
        bool singleProcess;
    };

    bool readSounds();
    std::vector<Command> commands() const;
    std::vector<float> levels(std::size_t files) const;
    ScenarioResult pressKey();
    ScenarioResult runKeyCommand(const Command& command);
    ScenarioResult runCommand(const Command& command);
    PlaybackTimeline::Figures awaitDesktopSound(std::int64_t from, double startedAt);
    void stamp(double pressedAt, const PlaybackTimeline::Figures& figures) const;
    RoundResult playRound();
    std::vector<RoundResult> playRounds(const std::string& condition);

    Options options_;
    std::vector<BenchSound> sounds_;
    XKeySender keys_;
    test::MonitorRecorder recorder_;
};

}  // namespace pelkora::bench
