#include "hook/VirtualKey.h"

#include <X11/keysym.h>

#include <array>
#include <utility>

namespace pelkora::hook {

namespace {

struct Range {
    unsigned long first;
    unsigned long last;
    std::uint16_t code;
};

// Runs of keysyms that map onto runs of codes. Letters come as their
// unshifted (lower-case) keysym from level 0 of the keymap.
constexpr std::array kRanges{
    Range{XK_F1, XK_F24, 112},
    Range{XK_a, XK_z, 65},
    Range{XK_A, XK_Z, 65},
    Range{XK_0, XK_9, 48},
    Range{XK_KP_0, XK_KP_9, 96},
    Range{XK_Left, XK_Down, 37},
    Range{XK_Shift_L, XK_Shift_R, 16},
    Range{XK_Control_L, XK_Control_R, 17},
    Range{XK_Alt_L, XK_Alt_R, 18},
};

constexpr std::array<std::pair<unsigned long, std::uint16_t>, 21> kSingles{{
    {XK_BackSpace, 8},     {XK_Tab, 9},          {XK_Return, 13},       {XK_KP_Enter, 13},
    {XK_Pause, 19},        {XK_Caps_Lock, 20},   {XK_Escape, 27},       {XK_space, 32},
    {XK_Prior, 33},        {XK_Next, 34},        {XK_End, 35},          {XK_Home, 36},
    {XK_Insert, 45},       {XK_Delete, 46},      {XK_KP_Multiply, 106}, {XK_KP_Add, 107},
    {XK_KP_Subtract, 109}, {XK_KP_Decimal, 110}, {XK_KP_Divide, 111},   {XK_Num_Lock, 144},
    {XK_Scroll_Lock, 145},
}};

}  // namespace

std::uint16_t virtualKeyOf(unsigned long keysym) {
    for (const Range& range : kRanges) {
        if (keysym >= range.first && keysym <= range.last) {
            return static_cast<std::uint16_t>(range.code + (keysym - range.first));
        }
    }
    for (const auto& [sym, code] : kSingles) {
        if (sym == keysym) {
            return code;
        }
    }
    return 0;
}

}  // namespace pelkora::hook
