#pragma once

#include <array>
#include <optional>

namespace pelkora {

// Where the twelve macro buttons go for one to four rows: all of one width,
// filling the rows left to right and top to bottom, 3 pixels in from the left
// and the top of the bar.
struct ButtonLayout {
    struct Rect {
        int left, top, width, height;
        bool operator==(const Rect&) const = default;
    };

    int barHeight = 0;
    std::array<Rect, 12> buttons{};

    // Empty for a row count outside 1..4: nothing is to be changed.
    static std::optional<ButtonLayout> forRows(int rows, int barWidth);
};

}  // namespace pelkora
