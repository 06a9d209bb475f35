// Desktop latency benchmark: the desktop program's macro key against
// pelkora-play and paplay, from the key (or the exec) to the first sample on
// a private sound server's sink. bench/desktop/run-desktop-bench.sh starts the
// X server, the sound server and the desktop program, and runs it.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "DesktopBench.h"

namespace {

const char* const kUsage =
    "usage: pelkora_desktop_bench --player PATH --sounds DIR --log FILE --window ID\n"
    "                             [--key KEYSYM] [--rounds N] [--load LOOPS] [--stamps FILE]\n"
    "Presses KEYSYM (default F2) in window ID of the X server that DISPLAY names,\n"
    "whose program plays DIR/A.wav .. E.wav on it, then runs the same macro with\n"
    "pelkora-play and one paplay, on the server that PULSE_SERVER names (its null\n"
    "sink pelkora_null). N rounds (default 5) idle, then N with LOOPS busy loops\n"
    "(default 2; 0 for none); prints the figures and their medians. --stamps appends\n"
    "each XTest press and its first sample on the sink (CLOCK_MONOTONIC seconds).\n";

bool parse(int argc, char** argv, pelkora::bench::DesktopBench::Options& options) {
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string option = argv[index];
        const std::string value = argv[index + 1];
        if (option == "--player") {
            options.player = value;
        } else if (option == "--sounds") {
            options.soundsDir = value;
        } else if (option == "--log") {
            options.logPath = value;
        } else if (option == "--window") {
            options.window = std::strtoul(value.c_str(), nullptr, 0);
        } else if (option == "--key") {
            options.key = value;
        } else if (option == "--rounds") {
            options.rounds = std::atoi(value.c_str());
        } else if (option == "--stamps") {
            options.stampsPath = value;
        } else if (option == "--load") {
            options.loadLoops = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.player.empty() && !options.soundsDir.empty() &&
           !options.logPath.empty() && options.window != 0 && options.rounds >= 1 &&
           options.loadLoops >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    pelkora::bench::DesktopBench::Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        pelkora::bench::DesktopBench bench(options);
        return bench.run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "desktop bench: %s\n", failure.what());
        return 2;
    }
}
