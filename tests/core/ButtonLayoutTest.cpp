#include <gtest/gtest.h>

#include "core/keyer/ButtonLayout.h"

namespace pelkora {
namespace {

struct RowCase {
    int rows;
    int barHeight;
    int width;
    int lastTop;   // top of F12
    int f7Left;    // where F7 lands
};

class ButtonRows : public ::testing::TestWithParam<RowCase> {};

TEST_P(ButtonRows, BarOf544PixelsAsTheOperatorSeesIt) {
    const RowCase c = GetParam();
    const auto layout = ButtonLayout::forRows(c.rows, 544);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->barHeight, c.barHeight);
    for (const auto& button : layout->buttons) {
        EXPECT_EQ(button.width, c.width);
        EXPECT_EQ(button.height, 23);
    }
    EXPECT_EQ(layout->buttons[0], (ButtonLayout::Rect{3, 3, c.width, 23}));
    EXPECT_EQ(layout->buttons[11].top, c.lastTop);
    EXPECT_EQ(layout->buttons[6].left, c.f7Left);
}

INSTANTIATE_TEST_SUITE_P(Bar, ButtonRows,
                         ::testing::Values(RowCase{1, 29, 44, 3, 3 + 6 * 44},
                                           RowCase{2, 52, 89, 26, 3},
                                           RowCase{3, 75, 134, 49, 3 + 2 * 134},
                                           RowCase{4, 98, 179, 72, 3}));

TEST(ButtonLayout, OneRowLeftsStepByTheWidth) {
    const auto layout = ButtonLayout::forRows(1, 544);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->buttons[1].left, 47);
    EXPECT_EQ(layout->buttons[2].left, 91);
    EXPECT_EQ(layout->buttons[11].left, 487);
}

TEST(ButtonLayout, RowCountsOutsideTheMenuChangeNothing) {
    EXPECT_FALSE(ButtonLayout::forRows(0, 544));
    EXPECT_FALSE(ButtonLayout::forRows(5, 544));
}

}  // namespace
}  // namespace pelkora
