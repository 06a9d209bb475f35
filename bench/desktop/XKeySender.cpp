#include "XKeySender.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {
namespace {

using namespace std::chrono_literals;

// The toolkit activates its window when the focus event reaches it; the key
// must not arrive before that.
constexpr auto kFocusSettle = 300ms;
// A window inside a window inside...: deeper than any toolkit nests.
constexpr int kDeepestNesting = 64;

}  // namespace

XKeySender::XKeySender(WindowId window) : window_(window) {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        throw std::runtime_error("cannot open the X display (DISPLAY, XAUTHORITY)");
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor) == False) {
        XCloseDisplay(display_);
        throw std::runtime_error("the X server has no XTest extension");
    }
}

XKeySender::~XKeySender() {
    XCloseDisplay(display_);
}

bool XKeySender::within(WindowId focus, WindowId window, const ParentOf& parentOf) {
    WindowId current = focus;
    for (int depth = 0; current != 0 && depth < kDeepestNesting; ++depth) {
        if (current == window) {
            return true;
        }
        current = parentOf(current);
    }
    return false;
}

XKeySender::WindowId XKeySender::parentOf(WindowId child) const {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, child, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    if (children != nullptr) {
        XFree(children);
    }
    return parent == root ? 0 : parent;
}

XKeySender::WindowId XKeySender::focused() const {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    // None and PointerRoot are no window of ours.
    return focus == PointerRoot ? 0 : focus;
}

std::string XKeySender::ensureFocus() {
    const ParentOf parent = [this](WindowId child) { return parentOf(child); };
    if (within(focused(), window_, parent)) {
        return {};
    }
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(kFocusSettle);
    if (within(focused(), window_, parent)) {
        return {};
    }
    return "the window did not take the keyboard focus";
}

double XKeySender::tap(const std::string& keysym) {
    const KeySym symbol = XStringToKeysym(keysym.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display_, symbol);
    if (code == 0) {
        throw std::runtime_error("the keyboard has no key " + keysym);
    }
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XFlush(display_);
    const double pressedAt = test::MonitorRecorder::nowSeconds();
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
    return pressedAt;
}

}  // namespace pelkora::bench
