#include "core/meter/LedLadderMath.h"

#include <algorithm>
#include <limits>

namespace pelkora {

int LedLadderMath::litCount(std::int32_t position, std::int32_t max, int ledCount) {
    const std::int64_t n = clampLedCount(ledCount);
    const std::int64_t divisor = std::int64_t{max} * n;
    if (divisor == 0) {
        return 0;
    }
    const std::int64_t lit = ((std::int64_t{position} * n + n / 2) * n - 1) / divisor;
    return static_cast<int>(std::clamp<std::int64_t>(lit, 0, n));
}

int LedLadderMath::yellowFrom(int ledCount) {
    // Trunc((N - 1) * 0.6) - 1, without the floating point.
    return static_cast<int>(3 * (std::int64_t{clampLedCount(ledCount)} - 1) / 5 - 1);
}

int LedLadderMath::redFrom(int ledCount) {
    return static_cast<int>(4 * (std::int64_t{clampLedCount(ledCount)} - 1) / 5 - 1);
}

LedRect LedLadderMath::ledRect(LedOrientation orientation, int index, int ledCount, int width,
                               int height, int spacing) {
    const int n = clampLedCount(ledCount);
    if (orientation == LedOrientation::Horizontal) {
        // The spacing comes off each LED's width...
        const int w = width / n - spacing;
        const int left = index * (w + spacing);
        return LedRect{left, 1, left + w, height - 1};
    }
    // ...but off the height of a vertical one; LED 0 is at the bottom.
    const int h = height / n;
    const int top = h * (n - 1 - index);
    return LedRect{1, top, width - 1, top + h - spacing};
}

LedColour LedLadderMath::ledColour(LedOrientation orientation, int index, int ledCount, int lit) {
    if (index >= lit) {
        return LedColour::Unlit;
    }
    if (orientation == LedOrientation::Vertical) {
        return LedColour::Normal;
    }
    if (index > redFrom(ledCount)) {
        return LedColour::Top;
    }
    return index > yellowFrom(ledCount) ? LedColour::Warning : LedColour::Normal;
}

LedRect LedLadderMath::span(LedOrientation orientation, int first, int last, int ledCount,
                            int width, int height, int spacing) {
    const LedRect a = ledRect(orientation, first, ledCount, width, height, spacing);
    const LedRect b = ledRect(orientation, last, ledCount, width, height, spacing);
    return LedRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom)};
}

std::int32_t LedLadderMath::levelOf(std::int32_t meterValue) {
    if (meterValue == std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return meterValue < 0 ? -meterValue : meterValue;
}

}  // namespace pelkora
