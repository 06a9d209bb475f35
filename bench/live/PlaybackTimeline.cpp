#include "PlaybackTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace pelkora::bench {
namespace {

using Recording = test::MonitorRecorder::Recording;

constexpr float kLevelTolerance = 0.04f;    // 16-bit sink, resampled from 16 kHz
constexpr std::int64_t kMinRunFrames = 48;  // 1 ms: shorter runs are edges ringing
constexpr double kLengthSlackMs = 3.0;      // a file on the sink against its own length
constexpr int kNoFile = -1;

struct Run {
    int file = kNoFile;
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t dropouts = 0;  // frames off the file's level between first and last
};

double framesToMs(std::int64_t frames, int rate) {
    return static_cast<double>(frames) * 1000.0 / rate;
}

std::string millisecondsText(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", ms);
    return text;
}

int fileAt(float level, const std::vector<float>& levels) {
    for (std::size_t index = 0; index < levels.size(); ++index) {
        if (std::fabs(level - levels[index]) <= kLevelTolerance) {
            return static_cast<int>(index);
        }
    }
    return kNoFile;
}

// The runs of frames at one file's level, in order. A run too short to be a
// file is an edge passing through other levels; a file broken by a dropout
// (an underrun: silence, then the rest of it) stays one run.
std::vector<Run> runsOf(const Recording& recording, std::int64_t from,
                        const std::vector<float>& levels) {
    std::vector<Run> runs;
    Run current{kNoFile, from, from};
    const auto close = [&](std::int64_t end) {
        if (current.file == kNoFile || end - current.first < kMinRunFrames) {
            return;
        }
        if (!runs.empty() && runs.back().file == current.file) {
            runs.back().dropouts += current.first - runs.back().last - 1;
            runs.back().last = end - 1;
        } else {
            runs.push_back({current.file, current.first, end - 1, 0});
        }
    };
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    for (std::int64_t frame = from; frame < frames; ++frame) {
        const int file = fileAt(recording.levels[static_cast<std::size_t>(frame)], levels);
        if (file != current.file) {
            close(frame);
            current = {file, frame, frame};
        }
    }
    close(frames);
    return runs;
}

std::string orderProblem(const std::vector<Run>& runs, std::size_t expected) {
    bool inOrder = runs.size() == expected;
    for (std::size_t index = 0; inOrder && index < runs.size(); ++index) {
        inOrder = runs[index].file == static_cast<int>(index);
    }
    if (inOrder) {
        return {};
    }
    std::string heard = "heard files";
    for (const Run& run : runs) {
        heard += " " + std::to_string(run.file + 1);
    }
    return heard + (runs.empty() ? " none" : "") + ", expected 1.." + std::to_string(expected);
}

float levelOf(const Recording& recording, std::int64_t frame) {
    return recording.levels[static_cast<std::size_t>(frame)];
}

// Frames between two files that sit below half the quieter one's level.
std::int64_t silentFramesBetween(const Recording& recording, const Run& before, const Run& after,
                                 float threshold) {
    std::int64_t silent = 0;
    for (std::int64_t frame = before.last + 1; frame < after.first; ++frame) {
        silent += levelOf(recording, frame) < threshold ? 1 : 0;
    }
    return silent;
}

// The first frame at half the first file's level or above, going back from its run.
std::int64_t leadingEdge(const Recording& recording, std::int64_t from, const Run& run,
                         float level) {
    std::int64_t leading = run.first;
    while (leading > from && levelOf(recording, leading - 1) >= level / 2) {
        --leading;
    }
    return leading;
}

// The last frame at half the last file's level or above, going on from its run.
std::int64_t trailingEdge(const Recording& recording, const Run& run, float level) {
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    std::int64_t trailing = run.last;
    while (trailing + 1 < frames && levelOf(recording, trailing + 1) >= level / 2) {
        ++trailing;
    }
    return trailing;
}

// What was wrong with one file on the sink, or nothing.
std::string runProblem(const Run& run, std::size_t index, double lengthMs, double soundMs,
                       int rate) {
    const std::string file = "file " + std::to_string(index + 1);
    if (run.dropouts > 0) {
        return file + " broke off for " + millisecondsText(framesToMs(run.dropouts, rate)) + "; ";
    }
    if (std::fabs(lengthMs - soundMs) > kLengthSlackMs) {
        return file + " lasted " + millisecondsText(lengthMs) + "; ";
    }
    return {};
}

}  // namespace

double PlaybackTimeline::Figures::meanGapMs() const {
    return gapsMs.empty() ? 0.0
                          : std::accumulate(gapsMs.begin(), gapsMs.end(), 0.0) /
                                static_cast<double>(gapsMs.size());
}

double PlaybackTimeline::Figures::maxGapMs() const {
    return gapsMs.empty() ? 0.0 : *std::max_element(gapsMs.begin(), gapsMs.end());
}

PlaybackTimeline::Figures PlaybackTimeline::measure(const Recording& recording, std::int64_t from,
                                                    double startedAt,
                                                    const std::vector<float>& levels,
                                                    double soundMs) {
    Figures figures;
    const std::vector<Run> runs = runsOf(recording, from, levels);
    figures.problem = orderProblem(runs, levels.size());
    if (!figures.problem.empty()) {
        return figures;
    }
    figures.heardInOrder = true;
    const std::int64_t leading = leadingEdge(recording, from, runs.front(), levels.front());
    const std::int64_t trailing = trailingEdge(recording, runs.back(), levels.back());
    figures.latencyMs = (recording.timeOf(leading) - startedAt) * 1000.0;
    figures.spanMs = framesToMs(trailing + 1 - leading, recording.rate);
    for (std::size_t index = 0; index < runs.size(); ++index) {
        figures.lengthsMs.push_back(
            framesToMs(runs[index].last + 1 - runs[index].first, recording.rate));
        figures.problem +=
            runProblem(runs[index], index, figures.lengthsMs.back(), soundMs, recording.rate);
        if (index > 0) {
            const float threshold = std::min(levels[index - 1], levels[index]) / 2;
            figures.gapsMs.push_back(
                framesToMs(silentFramesBetween(recording, runs[index - 1], runs[index], threshold),
                           recording.rate));
        }
    }
    return figures;
}

}  // namespace pelkora::bench
