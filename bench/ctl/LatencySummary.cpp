#include "LatencySummary.h"

#include <algorithm>
#include <cmath>

namespace pelkora::bench {

LatencySummary LatencySummary::of(std::vector<double> valuesMs) {
    LatencySummary summary;
    summary.count = valuesMs.size();
    if (valuesMs.empty()) {
        return summary;
    }
    std::sort(valuesMs.begin(), valuesMs.end());
    const std::size_t n = valuesMs.size();
    summary.medianMs = n % 2 ? valuesMs[n / 2] : (valuesMs[n / 2 - 1] + valuesMs[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.9 * static_cast<double>(n)));
    summary.p90Ms = valuesMs[std::max<std::size_t>(rank, 1) - 1];
    summary.maxMs = valuesMs.back();
    return summary;
}

}  // namespace pelkora::bench
