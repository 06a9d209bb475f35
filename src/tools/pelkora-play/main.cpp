#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "LivePlayer.h"
#include "OfflinePlayer.h"
#include "PlayExit.h"
#include "PlayOptions.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(pelkora::PlayOptions::usage(), stdout);
            return pelkora::Done;
        }
    }
    std::string error;
    const auto options = pelkora::PlayOptions::parse(args, error);
    if (!options) {
        std::fprintf(stderr, "pelkora-play: %s\n%s", error.c_str(), pelkora::PlayOptions::usage());
        return pelkora::BadArguments;
    }
    // Both players catch what escapes their loop and release the transmitter
    // first; this is the last word on anything that escapes them.
    try {
        return options->live() ? pelkora::LivePlayer::run(*options)
                               : pelkora::OfflinePlayer::run(*options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "pelkora-play: internal error: %s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "pelkora-play: internal error\n");
    }
    return pelkora::InternalError;
}
