// pelkora-voices: fills a sound directory with the spoken starter set, so
// that a new station's keyer spells calls before anything is recorded.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "platform/speech/StarterSet.h"

namespace {

// Prints one line per file; true when none failed.
bool report(const std::vector<pelkora::StarterResult>& results) {
    bool allWell = true;
    for (const pelkora::StarterResult& result : results) {
        switch (result.outcome) {
            case pelkora::StarterResult::Outcome::Made:
                std::printf("made %s\n", result.name.c_str());
                break;
            case pelkora::StarterResult::Outcome::Kept:
                std::printf("kept %s (already there)\n", result.name.c_str());
                break;
            case pelkora::StarterResult::Outcome::Failed:
                std::fprintf(stderr, "pelkora-voices: %s: %s\n", result.name.c_str(),
                             result.error.c_str());
                allWell = false;
                break;
        }
    }
    return allWell;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Writes a spoken file for every letter and digit, the stroke and a CQ call into a "
        "sound directory, at the keyer's common loudness.",
        "pelkora-voices"};
    std::string soundDir;
    bool all = false;
    app.add_option("--sound-dir", soundDir, "The sound directory (made if missing)")->required();
    app.add_flag("--all", all, "Replace files already there (each keeps its undo copy)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        return app.exit(failure) == 0 ? 0 : 1;
    }
    try {
        std::string error;
        const auto results = pelkora::StarterSet::make(soundDir, !all, &error);
        if (results.empty()) {
            std::fprintf(stderr, "pelkora-voices: %s\n", error.c_str());
            return 1;
        }
        return report(results) ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "pelkora-voices: internal error: %s\n", failure.what());
    }
    return 1;
}
