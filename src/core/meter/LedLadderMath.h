#pragma once

#include <cstdint>

namespace pelkora {

enum class LedOrientation { Horizontal, Vertical };

// How one LED of the bar is painted.
enum class LedColour { Unlit, Normal, Warning, Top };

// A rectangle in the bar's own pixels; right and bottom are exclusive.
struct LedRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool isEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const LedRect&, const LedRect&) = default;
};

// The arithmetic of the LED bar: how many LEDs a position lights, where each
// LED sits and which colour it takes. Integer arithmetic throughout, every
// division truncating, so that the bar looks the same as it always has.
class LedLadderMath {
  public:
    // A bar has at least one LED.
    static int clampLedCount(int ledCount) { return ledCount < 1 ? 1 : ledCount; }

    // LEDs lit at this position, 0..ledCount. The rounding formula is the
    // bar's own: with N 20 and Max 32767 the first LED comes on at 1638.
    // A Max of 0 has no scale, so the bar stays dark rather than divide by
    // zero; the sums are taken in 64 bits so that no position overflows.
    static int litCount(std::int32_t position, std::int32_t max, int ledCount);

    // The last LED of the normal and of the warning zone of a horizontal bar:
    // LED i is yellow above yellowFrom and red above redFrom (when lit).
    static int yellowFrom(int ledCount);
    static int redFrom(int ledCount);

    // LED i (from 0: leftmost, or bottom of a vertical bar) before its bevel.
    static LedRect ledRect(LedOrientation orientation, int index, int ledCount, int width,
                           int height, int spacing);
    static LedColour ledColour(LedOrientation orientation, int index, int ledCount, int lit);

    // The smallest rectangle holding LEDs first..last (inclusive); what must
    // be redrawn when the lit count moves between them.
    static LedRect span(LedOrientation orientation, int first, int last, int ledCount, int width,
                        int height, int spacing);

    // The level a meter value shows: its magnitude. The most negative value
    // has none in 32 bits and shows as the largest one.
    static std::int32_t levelOf(std::int32_t meterValue);
};

}  // namespace pelkora
