#pragma once

#include <string>
#include <vector>

#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {

// When a run's files sounded on the sink, found by their levels in the
// monitor's recording: the latency from the command's start to its first
// sample, the silence between consecutive files and the whole span.
// Edges are taken where the sound crosses half its level, so the resampler's
// ringing at a step counts for neither side; that resolves to a frame or two
// (48 kHz), well below the millisecond the goals deal in.
class PlaybackTimeline {
  public:
    struct Figures {
        bool heardInOrder = false;      // every file found, in order: the times below hold
        std::string problem;            // empty when every file was heard whole, in order
        double latencyMs = 0;           // start of the command to the first file's edge
        std::vector<double> gapsMs;     // silence before files 2..n
        std::vector<double> lengthsMs;  // each file on the sink
        double spanMs = 0;              // first file's leading edge to the last one's trailing edge
        double meanGapMs() const;
        double maxGapMs() const;
    };

    // levels: the level of each file, in the order they should sound; soundMs:
    // how long each one lasts.
    static Figures measure(const test::MonitorRecorder::Recording& recording, std::int64_t from,
                           double startedAt, const std::vector<float>& levels, double soundMs);
};

}  // namespace pelkora::bench
