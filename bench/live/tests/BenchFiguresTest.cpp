#include "BenchFigures.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace pelkora::bench {
namespace {

// A round in which the player's run had this latency, or was not heard at all.
RoundResult roundWith(std::optional<double> latencyMs, double cpuPercent) {
    ScenarioResult player;
    player.key = 'a';
    player.figures.heardInOrder = latencyMs.has_value();
    player.figures.problem = latencyMs ? "" : "heard files none, expected 1..5";
    player.figures.latencyMs = latencyMs.value_or(0);
    player.figures.gapsMs = {latencyMs.value_or(0) / 10};
    RoundResult round;
    round.scenarios.push_back(player);
    round.waiting.schedPercent = cpuPercent;
    return round;
}

TEST(BenchFigures, MedianTakesEachFigureOverTheRoundsThatMeasuredIt) {
    struct Row {
        const char* what;
        std::vector<RoundResult> rounds;
        bool measured;
        double latencyMs;
        double cpuPercent;
        std::string problem;
    };
    const std::vector<Row> rows = {
        {"odd count", {roundWith(9, 0.3), roundWith(5, 0.1), roundWith(7, 0.2)}, true, 7, 0.2, ""},
        {"a round not heard",
         {roundWith(9, 0.3), roundWith(std::nullopt, 0.1), roundWith(5, 0.2)},
         true,
         7,
         0.2,
         "1 round(s) not measured"},
        {"none heard",
         {roundWith(std::nullopt, 0.1), roundWith(std::nullopt, 0.1)},
         false,
         0,
         0.1,
         "heard files none, expected 1..5"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const BenchFigures figures = BenchFigures::median(row.rounds);
        const BenchFigures::Row* player = figures.row('a');
        ASSERT_NE(player, nullptr);
        EXPECT_EQ(player->measured, row.measured);
        EXPECT_EQ(player->problem, row.problem);
        if (row.measured) {
            EXPECT_DOUBLE_EQ(player->latencyMs, row.latencyMs);
            EXPECT_DOUBLE_EQ(player->gapMaxMs, row.latencyMs / 10);
        }
        EXPECT_DOUBLE_EQ(figures.waiting.schedPercent, row.cpuPercent);
        EXPECT_EQ(figures.row('z'), nullptr);
    }
}

}  // namespace
}  // namespace pelkora::bench
