#pragma once

#include <functional>
#include <string>

// Xlib's own types stay in the .cpp: its headers define None, Status, Bool...
struct _XDisplay;

namespace pelkora::bench {

// Presses keys in a window of the X server that DISPLAY names, as a keyboard
// would: through the XTest extension, to whichever window has the keyboard
// focus. Gives that window the focus first when it (or a window inside it)
// does not have it; no window manager is needed for that.
// Threading: one thread.
class XKeySender {
  public:
    using WindowId = unsigned long;
    // The parent of a window; 0 for the root or when it cannot be told.
    using ParentOf = std::function<WindowId(WindowId)>;

    // Throws std::runtime_error when the display cannot be opened or has no XTest.
    explicit XKeySender(WindowId window);
    ~XKeySender();
    XKeySender(const XKeySender&) = delete;
    XKeySender& operator=(const XKeySender&) = delete;

    // Empty when the window has the focus (given now if it had not), else why not.
    std::string ensureFocus();

    // Presses and releases the key named like an X keysym ("F2"). Returns the
    // CLOCK_MONOTONIC seconds right after the press was flushed to the server;
    // throws std::runtime_error for a key the keyboard does not have.
    double tap(const std::string& keysym);

    // Whether focus is window or lies inside it, going up through parentOf.
    static bool within(WindowId focus, WindowId window, const ParentOf& parentOf);

  private:
    WindowId focused() const;
    WindowId parentOf(WindowId child) const;

    _XDisplay* display_ = nullptr;
    WindowId window_;
};

}  // namespace pelkora::bench
