#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ProfileStore.h"

namespace pelkora {

// A window's placement as kept in its own section of pelkora.ini (sections
// "TPelkoranForm" and "TVolForm"), in the format the Windows program writes,
// so that one file serves both:
//   FormVersion=0  Flags=<n>  ShowCmd=<n>  PixelsPerInch=<n>
//   MinMaxPos=<min x>,<min y>,<max x>,<max y>
//   NormPos=<left>,<top>,<right>,<bottom>   (right and bottom exclusive)
//   Visible=1 when saved at destruction, 0 when saved on close (never read)
// Pure rules: reading and writing go through the ProfileStore, the window
// itself is described by plain values; a toolkit adapter does the rest.
// Threading: called only on the loop thread.
class WindowPlacement {
  public:
    struct Point {
        std::int32_t x = -1;
        std::int32_t y = -1;
        bool operator==(const Point&) const = default;
    };

    // Screen pixels; right = left + width, bottom = top + height.
    struct Rect {
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::int32_t right = 0;
        std::int32_t bottom = 0;
        // Wide, because a hand-edited file can hold any two 32-bit numbers.
        std::int64_t width() const { return std::int64_t{right} - left; }
        std::int64_t height() const { return std::int64_t{bottom} - top; }
        bool operator==(const Rect&) const = default;
    };

    struct Record {
        std::int32_t flags = 0;
        std::int32_t showCmd = kShowNormal;
        Point minPos;  // -1,-1: never minimised to a known place
        Point maxPos;
        Rect normal;
        std::int32_t pixelsPerInch = 96;
        bool operator==(const Record&) const = default;
    };

    // The window as it is just before it is shown.
    struct CurrentWindow {
        Record placement;              // pixelsPerInch: the screen's resolution now
        bool fixedSize = false;        // border cannot be resized: restore the position only
        bool centredOnScreen = false;  // placed by a centre-on-screen rule
    };

    enum class ShowState { Normal, Minimised, Maximised };

    struct RestoreDecision {
        bool applyGeometry = false;
        Record placement;           // flags, minPos, maxPos and normal to apply
        bool dropCentring = false;  // the restored position replaces the centring rule
        // nullopt when nothing was restored (FormVersion below 0): leave the state alone.
        std::optional<ShowState> showState;
    };

    static constexpr std::int32_t kShowNormal = 1;
    static constexpr std::int32_t kShowMinimised = 2;
    static constexpr std::int32_t kShowMaximised = 3;

    // Writes the section's keys in their fixed order. A refused write throws
    // ProfileWriteError from the store and the keys after it are not written.
    static void save(ProfileStore& store, const std::string& file, const std::string& section,
                     const Record& record, bool destroying);

    // Reads the section and decides what to do to the window before it is
    // shown. Missing or malformed values take their documented defaults;
    // reading never fails.
    //
    // MinMaxPos and NormPos are four integers separated by commas, blanks
    // around each allowed. Each element stands alone: one that is missing,
    // empty or not a number takes the window's current value (NormPos: left,
    // top, left + width, top + height) and the others still count; elements
    // after the fourth are ignored. A key that is missing or empty counts as
    // absent, any other text as present.
    static RestoreDecision restore(ProfileStore& store, const std::string& file,
                                   const std::string& section, const CurrentWindow& now);

    // 1, 5, 9 normal; 2, 6, 7 minimised; 3 maximised; anything else normal.
    static ShowState showStateOf(std::int32_t showCmd);
    static std::int32_t showCmdOf(ShowState state);
};

}  // namespace pelkora
