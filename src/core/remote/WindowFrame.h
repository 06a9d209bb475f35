#pragma once

#include <cstdint>

namespace pelkora {

// The main window's place on the screen and its visibility, as the
// automation object sees them. The window implements it.
// Threading: loop thread only.
class WindowFrame {
  public:
    // Screen pixels.
    struct Bounds {
        std::int32_t left = 0;
        std::int32_t top = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        bool operator==(const Bounds&) const = default;
    };

    virtual ~WindowFrame() = default;

    // The main window, then the volume tool window (shown even when the
    // operator had switched the regulators off).
    virtual void showWindows() = 0;
    // The main window, then the volume tool window.
    virtual void hideWindows() = 0;

    virtual Bounds mainBounds() const = 0;
    // Moves or resizes the main window only: the tool window keeps its place
    // until the operator next drags the main window.
    virtual void setMainBounds(const Bounds& bounds) = 0;
};

}  // namespace pelkora
