#include <gtest/gtest.h>

#include "CtlBench.h"
#include "LatencySummary.h"

namespace pelkora::bench {
namespace {

TEST(LatencySummary, MedianNearestRankP90AndMax) {
    const struct {
        std::vector<double> values;
        std::size_t count;
        double median, p90, max;
    } cases[] = {
        {{}, 0, 0, 0, 0},
        {{7}, 1, 7, 7, 7},
        {{3, 1}, 2, 2, 3, 3},
        {{5, 1, 3}, 3, 3, 5, 5},
        // Ten runs: the ninth smallest is the 90th percentile, not the largest.
        {{10, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10, 5.5, 9, 10},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 100}, 11, 6, 10, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values.size());
        const LatencySummary s = LatencySummary::of(c.values);
        EXPECT_EQ(s.count, c.count);
        EXPECT_DOUBLE_EQ(s.medianMs, c.median);
        EXPECT_DOUBLE_EQ(s.p90Ms, c.p90);
        EXPECT_DOUBLE_EQ(s.maxMs, c.max);
    }
}

TEST(CtlBenchTable, ShowsEveryRowAndWhatWasNotMeasured) {
    const std::string text =
        CtlBench::table({{"PlayMacros call -> reply (QtDBus)", {1, 2, 3}, {}, {}}});
    EXPECT_NE(text.find("PlayMacros call -> reply (QtDBus)"), std::string::npos) << text;
    EXPECT_NE(text.find("  3     2.00     3.00     3.00"), std::string::npos) << text;
    EXPECT_NE(text.find("not measured"), std::string::npos) << text;
}

}  // namespace
}  // namespace pelkora::bench
