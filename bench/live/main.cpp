// Live playback benchmark: pelkora-play against paplay and sox on a private
// sound server. bench/live/run-live-bench.sh builds it, starts the server,
// makes the sound files and runs it.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "LiveBench.h"

namespace {

const char* const kUsage =
    "usage: pelkora_live_bench --player PATH --sounds DIR --log FILE [--rounds N]\n"
    "Plays DIR/A.wav .. E.wav with pelkora-play, paplay and sox on the server that\n"
    "PULSE_SERVER names (its null sink pelkora_null) and prints the figures.\n";

bool parse(int argc, char** argv, pelkora::bench::LiveBench::Options& options) {
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string option = argv[index];
        const std::string value = argv[index + 1];
        if (option == "--player") {
            options.player = value;
        } else if (option == "--sounds") {
            options.soundsDir = value;
        } else if (option == "--log") {
            options.logPath = value;
        } else if (option == "--rounds") {
            options.rounds = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.player.empty() && !options.soundsDir.empty() &&
           !options.logPath.empty() && options.rounds >= 1;
}

}  // namespace

int main(int argc, char** argv) {
    pelkora::bench::LiveBench::Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        pelkora::bench::LiveBench bench(options);
        return bench.run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "live bench: %s\n", failure.what());
        return 2;
    }
}
