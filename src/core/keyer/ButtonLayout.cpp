#include "core/keyer/ButtonLayout.h"

namespace pelkora {

std::optional<ButtonLayout> ButtonLayout::forRows(int rows, int barWidth) {
    if (rows < 1 || rows > 4) {
        return std::nullopt;
    }
    constexpr int kButtonHeight = 23;
    const int perRow = 12 / rows;  // 12, 6, 4, 3
    ButtonLayout layout;
    layout.barHeight = 6 + kButtonHeight * rows;  // 29, 52, 75, 98
    const int width = (barWidth - 6) / perRow;
    for (int k = 0; k < 12; ++k) {
        const int row = k / perRow;
        const int column = k % perRow;
        layout.buttons[static_cast<std::size_t>(k)] = {3 + column * width, 3 + kButtonHeight * row,
                                                       width, kButtonHeight};
    }
    return layout;
}

}  // namespace pelkora
