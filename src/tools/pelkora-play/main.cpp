#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "LivePlayer.h"
#include "OfflinePlayer.h"
#include "PlayOptions.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(pelkora::PlayOptions::usage(), stdout);
            return 0;
        }
    }
    std::string error;
    const auto options = pelkora::PlayOptions::parse(args, error);
    if (!options) {
        std::fprintf(stderr, "pelkora-play: %s\n%s", error.c_str(), pelkora::PlayOptions::usage());
        return 2;
    }
    try {
        return options->live() ? pelkora::LivePlayer::run(*options)
                               : pelkora::OfflinePlayer::run(*options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "pelkora-play: %s\n", failure.what());
        return 1;
    }
}
