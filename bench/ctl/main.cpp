#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "CtlBench.h"

namespace {

constexpr const char* kUsage =
    "usage: pelkora_ctl_bench CTL PLAYER SOUNDS_DIR LOG [ROUNDS] [LOAD_LOOPS]\n"
    "Measures pelkora-ctl and pelkora-play against the keyer that runs on the session bus,\n"
    "with SOUNDS_DIR (holding A.wav) as its sound folder, on the sound server that\n"
    "PULSE_SERVER names. bench/ctl/run-ctl-bench.sh sets all of it up.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc > 7) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    QCoreApplication application(argc, argv);
    pelkora::bench::CtlBench::Options options;
    options.ctl = argv[1];
    options.player = argv[2];
    options.soundsDir = argv[3];
    options.logPath = argv[4];
    try {
        options.rounds = argc > 5 ? std::stoi(argv[5]) : options.rounds;
        options.loadLoops = argc > 6 ? std::stoi(argv[6]) : options.loadLoops;
    } catch (const std::exception&) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.rounds < 1 || options.loadLoops < 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return pelkora::bench::CtlBench(options).run();
}
