#pragma once

#include <cstddef>
#include <vector>

namespace pelkora::bench {

// One row's figures over its runs: the median, the 90th percentile (nearest
// rank: the smallest value that at least 90 % of the runs do not exceed) and
// the largest. count 0 when nothing was measured.
struct LatencySummary {
    std::size_t count = 0;
    double medianMs = 0;
    double p90Ms = 0;
    double maxMs = 0;

    static LatencySummary of(std::vector<double> valuesMs);
};

}  // namespace pelkora::bench
