#include "core/meter/LedLadderMath.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace pelkora {
namespace {

constexpr std::int32_t kPeakMax = 32767;
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

struct LitCase {
    int ledCount;
    std::int32_t max;
    std::int32_t position;
    int lit;
};

TEST(LedLadderMathTest, PositionLightsTheBarsRoundedShare) {
    const std::vector<LitCase> cases = {
        // The main window's bar on a peak meter.
        {20, kPeakMax, 0, 0},
        {20, kPeakMax, 1637, 0},
        {20, kPeakMax, 1638, 1},
        {20, kPeakMax, 16383, 9},
        {20, kPeakMax, 16384, 10},
        {20, kPeakMax, 32767, 20},
        {20, kPeakMax, 32768, 20},
        // Before start-up found a meter: the default Max.
        {20, 10, 1, 2},
        {20, 10, 3, 6},
        {20, 10, 10, 20},
        {10, 10, 5, 5},
        // Below the scale nothing is lit.
        {20, kPeakMax, -1638, 0},
        {20, 10, kInt32Min, 0},
        // A Max of 0 has no scale: dark, whatever the position.
        {20, 0, 0, 0},
        {20, 0, 5, 0},
        {20, 0, kPeakMax, 0},
        {1, 0, 1, 0},
        // A negative Max lights nothing for a level.
        {20, -10, 5, 0},
        // Positions far above Max: all lit, with no 32-bit overflow on the way.
        {20, kPeakMax, kInt32Max, 20},
        {20, 1, kInt32Max, 20},
        // A bar of no LEDs is a bar of one, which the formula lights only
        // above Max.
        {0, 10, 11, 1},
        {-5, 10, 10, 0},
        {-5, 10, 11, 1},
        {1, 10, 11, 1},
    };
    for (const LitCase& c : cases) {
        SCOPED_TRACE("N " + std::to_string(c.ledCount) + " Max " + std::to_string(c.max) +
                     " position " + std::to_string(c.position));
        EXPECT_EQ(LedLadderMath::litCount(c.position, c.max, c.ledCount), c.lit);
    }
}

TEST(LedLadderMathTest, LedCountBelowOneBecomesOne) {
    const std::vector<std::pair<int, int>> cases = {
        {0, 1}, {-5, 1}, {kInt32Min, 1}, {1, 1}, {20, 20}};
    for (const auto& [given, stored] : cases) {
        EXPECT_EQ(LedLadderMath::clampLedCount(given), stored) << given;
    }
}

// One letter per LED when all are lit: G normal, Y warning, R top.
std::string zones(LedOrientation orientation, int ledCount, int lit) {
    std::string letters;
    for (int i = 0; i < ledCount; ++i) {
        switch (LedLadderMath::ledColour(orientation, i, ledCount, lit)) {
            case LedColour::Unlit:
                letters += '.';
                break;
            case LedColour::Normal:
                letters += 'G';
                break;
            case LedColour::Warning:
                letters += 'Y';
                break;
            case LedColour::Top:
                letters += 'R';
                break;
        }
    }
    return letters;
}

struct ZoneCase {
    LedOrientation orientation;
    int ledCount;
    int lit;
    std::string looks;
};

TEST(LedLadderMathTest, HorizontalBarsWarnAndTopOutVerticalOnesStayGreen) {
    using enum LedOrientation;
    const std::vector<ZoneCase> cases = {
        {Horizontal, 20, 20, "GGGGGGGGGGGYYYYRRRRR"},
        {Horizontal, 20, 12, "GGGGGGGGGGGY........"},
        {Horizontal, 20, 0, "...................."},
        {Horizontal, 10, 10, "GGGGGYYRRR"},
        {Horizontal, 10, 99, "GGGGGYYRRR"},
        {Horizontal, 2, 2, "RR"},
        {Horizontal, 1, 1, "R"},
        {Horizontal, 5, 5, "GGYRR"},
        {Vertical, 10, 10, "GGGGGGGGGG"},
        {Vertical, 10, 3, "GGG......."},
        {Vertical, 1, 1, "G"},
    };
    for (const ZoneCase& c : cases) {
        SCOPED_TRACE(c.looks);
        EXPECT_EQ(zones(c.orientation, c.ledCount, c.lit), c.looks);
    }
}

struct RectCase {
    LedOrientation orientation;
    int index;
    int ledCount;
    int width;
    int height;
    int spacing;
    LedRect rect;
};

TEST(LedLadderMathTest, LedsSitSideBySideOrStackedFromTheBottom) {
    using enum LedOrientation;
    const std::vector<RectCase> cases = {
        // The main window's bar: 6 pixels per LED, the 121st column unused.
        {Horizontal, 0, 20, 121, 21, 0, {0, 1, 6, 20}},
        {Horizontal, 10, 20, 121, 21, 0, {60, 1, 66, 20}},
        {Horizontal, 19, 20, 121, 21, 0, {114, 1, 120, 20}},
        // The spacing comes off the width of each LED.
        {Horizontal, 0, 10, 100, 20, 2, {0, 1, 8, 19}},
        {Horizontal, 1, 10, 100, 20, 2, {10, 1, 18, 19}},
        // A new bar's shape: 30 × 200, spacing off the height, LED 0 at the bottom.
        {Vertical, 0, 10, 30, 200, 2, {1, 180, 29, 198}},
        {Vertical, 1, 10, 30, 200, 2, {1, 160, 29, 178}},
        {Vertical, 9, 10, 30, 200, 2, {1, 0, 29, 18}},
        // LedCount 0 draws one LED over the whole length.
        {Vertical, 0, 0, 30, 200, 0, {1, 0, 29, 200}},
    };
    for (const RectCase& c : cases) {
        SCOPED_TRACE("LED " + std::to_string(c.index) + " of " + std::to_string(c.ledCount));
        EXPECT_EQ(LedLadderMath::ledRect(c.orientation, c.index, c.ledCount, c.width, c.height,
                                         c.spacing),
                  c.rect);
    }
}

TEST(LedLadderMathTest, SpanCoversTheLedsBetweenTwoLevels) {
    EXPECT_EQ(LedLadderMath::span(LedOrientation::Horizontal, 3, 5, 20, 121, 21, 0),
              (LedRect{18, 1, 36, 20}));
    EXPECT_EQ(LedLadderMath::span(LedOrientation::Vertical, 0, 9, 10, 30, 200, 2),
              (LedRect{1, 0, 29, 198}));
    // Either order.
    EXPECT_EQ(LedLadderMath::span(LedOrientation::Vertical, 2, 1, 10, 30, 200, 2),
              (LedRect{1, 140, 29, 178}));
}

TEST(LedLadderMathTest, MeterValueShowsAsItsMagnitude) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> cases = {
        {0, 0}, {1638, 1638}, {-1638, 1638}, {kInt32Max, kInt32Max}, {kInt32Min, kInt32Max}};
    for (const auto& [value, level] : cases) {
        EXPECT_EQ(LedLadderMath::levelOf(value), level) << value;
    }
    // −1638 read from the meter lights one LED of the main window's bar.
    EXPECT_EQ(LedLadderMath::litCount(LedLadderMath::levelOf(-1638), kPeakMax, 20), 1);
}

}  // namespace
}  // namespace pelkora
