#pragma once

#include <X11/Xlib.h>

namespace pelkora::hook {

// Xlib's default error handler ends the process. A window that goes away
// while the watcher asks about it (the focus moved to a closing window, the
// keyer's own window destroyed) is routine here, so errors on the watcher's
// connections are ignored; errors on any other connection of the process
// still go to the handler that was there before.
// Threading: add and remove under the caller's lock (the library's); the
// handler itself runs on whichever thread made the failing call.
class ErrorTrap {
  public:
    static void add(Display* display);
    static void remove(Display* display);
};

}  // namespace pelkora::hook
