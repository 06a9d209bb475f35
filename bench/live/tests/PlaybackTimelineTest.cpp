#include "PlaybackTimeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelkora::bench {
namespace {

using Recording = test::MonitorRecorder::Recording;

constexpr int kRate = 48000;
constexpr double kFrameMs = 1000.0 / kRate;
constexpr double kStart = 100.0;  // the recording's first frame, CLOCK_MONOTONIC seconds

struct Segment {
    float level;
    int frames;
};

Recording recordingOf(const std::vector<Segment>& segments) {
    Recording recording;
    recording.rate = kRate;
    recording.firstFrameSeconds = kStart;
    for (const Segment& segment : segments) {
        recording.levels.insert(recording.levels.end(), static_cast<std::size_t>(segment.frames),
                                segment.level);
    }
    return recording;
}

// 100 ms files, so that the runs are easy to count by hand.
constexpr int kFile = kRate / 10;
constexpr float kA = 0.15f;
constexpr float kB = 0.30f;
constexpr float kC = 0.45f;

struct Row {
    const char* what;
    std::vector<Segment> segments;
    std::vector<double> gapsMs;
    double latencyMs;
    double spanMs;
};

TEST(PlaybackTimeline, FindsLatencyGapsAndSpanAtTheHalfLevelEdges) {
    const std::vector<Row> rows = {
        {"a millisecond of silence between files",
         {{0, 96}, {kA, kFile}, {0, 48}, {kB, kFile}, {0, 48}, {kC, kFile}, {0, 200}},
         {1.0, 1.0},
         2.0,
         302.0},
        {"gapless",
         {{0, 48}, {kA, kFile}, {kB, kFile}, {kC, kFile}, {0, 48}},
         {0.0, 0.0},
         1.0,
         300.0},
        // Resampling rings at each step: the edge is where the level crosses half.
        {"ringing edges",
         {{0, 48},
          {0.02f, 1},
          {0.05f, 1},
          {0.1f, 1},
          {kA, kFile - 3},
          {0.1f, 1},
          {0.05f, 1},
          {0, 46},
          {0.05f, 1},
          {0.2f, 1},
          {0.33f, 1},
          {kB, kFile},
          {0.4f, 2},
          {kC, kFile},
          {0.3f, 1},
          {0.2f, 1},
          {0, 48}},
         // Below half of A: 0.05, the 46 silent frames, 0.05; not 0.1 or 0.2.
         {48 * kFrameMs, 0.0},
         // From frame 50 (0.1, the first at half of A) to frame 14501 (0.3, the last at half of C).
         50 * kFrameMs,
         (14501 + 1 - 50) * kFrameMs},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto figures =
            PlaybackTimeline::measure(recordingOf(row.segments), 0, kStart, {kA, kB, kC}, 100.0);
        ASSERT_TRUE(figures.heardInOrder) << figures.problem;
        EXPECT_EQ(figures.problem, "");
        EXPECT_NEAR(figures.latencyMs, row.latencyMs, 1e-6);
        ASSERT_EQ(figures.gapsMs.size(), row.gapsMs.size());
        for (std::size_t index = 0; index < row.gapsMs.size(); ++index) {
            EXPECT_NEAR(figures.gapsMs[index], row.gapsMs[index], 1e-6) << "gap " << index;
        }
        EXPECT_NEAR(figures.spanMs, row.spanMs, 1e-6);
    }
}

TEST(PlaybackTimeline, CountsFromTheCommandsStartAndTheGivenFrame) {
    const Recording recording = recordingOf({{kB, kFile}, {0, 480}, {kA, kFile}, {0, 48}});
    // The first file at this level before `from` belongs to an earlier command.
    const auto figures = PlaybackTimeline::measure(recording, kFile, kStart + 0.005, {kA}, 100.0);
    ASSERT_TRUE(figures.heardInOrder) << figures.problem;
    EXPECT_NEAR(figures.latencyMs, (kFile + 480) * kFrameMs - 5.0, 1e-6);
    EXPECT_TRUE(figures.gapsMs.empty());
    EXPECT_EQ(figures.meanGapMs(), 0.0);
    EXPECT_EQ(figures.maxGapMs(), 0.0);
}

TEST(PlaybackTimeline, RefusesFilesMissingOrOutOfOrder) {
    const std::vector<std::pair<const char*, std::vector<Segment>>> rows = {
        {"nothing played", {{0, kFile}}},
        {"the second file missing", {{kA, kFile}, {0, 48}, {kC, kFile}}},
        {"out of order", {{kB, kFile}, {kA, kFile}, {kC, kFile}}},
        {"a file at a level of none", {{kA, kFile}, {0.9f, kFile}, {kC, kFile}}},
    };
    for (const auto& [what, segments] : rows) {
        const auto figures =
            PlaybackTimeline::measure(recordingOf(segments), 0, kStart, {kA, kB, kC}, 100.0);
        EXPECT_FALSE(figures.heardInOrder) << what;
        EXPECT_NE(figures.problem, "") << what;
    }
}

TEST(PlaybackTimeline, NamesADropoutInsideAFileAndAFileCutShort) {
    const Recording broken = recordingOf(
        {{kA, kFile / 2}, {0, 96}, {kA, kFile / 2}, {0, 48}, {kB, kFile - 480}, {0, 48}});
    const auto figures = PlaybackTimeline::measure(broken, 0, kStart, {kA, kB}, 100.0);
    ASSERT_TRUE(figures.heardInOrder);
    EXPECT_NE(figures.problem.find("file 1 broke off for 2.00 ms"), std::string::npos)
        << figures.problem;
    EXPECT_NE(figures.problem.find("file 2 lasted 90.00 ms"), std::string::npos) << figures.problem;
    EXPECT_NEAR(figures.gapsMs.at(0), 1.0, 1e-6);
}

}  // namespace
}  // namespace pelkora::bench
