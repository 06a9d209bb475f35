// The keyboard-hook library on a real X server: keys typed with XTEST into
// another window arrive at the given window as hook messages, one on the
// stroke's press and one on its release.

// gtest first: Xlib defines None, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/HookLibrary.h"

namespace pelkora::test {
namespace {

using Reports = std::vector<long>;

constexpr long kF5 = 116;
// Long enough for the recording thread to see and report a stroke.
constexpr auto kQuiet = std::chrono::milliseconds(400);

class HookLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "needs an X server (run under run-under-xvfb.sh)";
        hookAtom = XInternAtom(display, "WW_Pelkora_Hook", False);
        const Window root = DefaultRootWindow(display);
        target = XCreateSimpleWindow(display, root, 0, 0, 50, 50, 0, 0, 0);
        targetChild = mapped(XCreateSimpleWindow(display, target, 0, 0, 10, 10, 0, 0, 0));
        XMapWindow(display, target);
        other = mapped(XCreateSimpleWindow(display, root, 100, 0, 50, 50, 0, 0, 0));
        ASSERT_TRUE(library.loadFrom({PELKORA_HOOK_LIBRARY}));
    }

    void TearDown() override {
        if (display != nullptr) {
            library.clearHook();
            library.unload();
            XCloseDisplay(display);
        }
    }

    Window mapped(Window window) {
        XSelectInput(display, window, StructureNotifyMask);
        XMapWindow(display, window);
        XEvent event{};
        do {
            XWindowEvent(display, window, StructureNotifyMask, &event);
        } while (event.type != MapNotify);
        return window;
    }

    void focus(Window window) {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XSync(display, False);
    }

    void setPid(Window window, long pid) {
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL,
                        32, PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
        XSync(display, False);
    }

    void key(KeySym keysym, bool press) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press ? True : False, 0);
        XSync(display, False);
    }

    void stroke(KeySym keysym) {
        key(keysym, true);
        key(keysym, false);
    }

    // The hook messages the target has received until none came for a while.
    Reports reports() {
        Reports codes;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        const int quietMs = static_cast<int>(kQuiet.count());
        while (XPending(display) > 0 || poll(&connection, 1, quietMs) > 0) {
            XEvent event{};
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.window == target &&
                event.xclient.message_type == hookAtom) {
                EXPECT_EQ(event.xclient.format, 32);
                codes.push_back(event.xclient.data.l[0]);
            }
        }
        return codes;
    }

    Display* display = nullptr;
    Atom hookAtom = None;
    Window target = None;
    Window targetChild = None;
    Window other = None;
    HookLibrary library;
};

TEST_F(HookLibraryTest, KeysInAnotherWindowArriveAsPressAndRelease) {
    library.setHook(target);
    focus(other);
    struct Case {
        KeySym keysym;
        long code;
    };
    for (const Case& c :
         {Case{XK_F5, kF5}, Case{XK_F1, 112}, Case{XK_F12, 123}, Case{XK_a, 'A'}, Case{XK_7, '7'},
          Case{XK_Return, 13}, Case{XK_Escape, 27}, Case{XK_space, 32}}) {
        stroke(c.keysym);
        EXPECT_EQ(reports(), (Reports{c.code, c.code})) << XKeysymToString(c.keysym);
    }
}

TEST_F(HookLibraryTest, AHeldKeyIsOneStroke) {
    library.setHook(target);
    focus(other);
    key(XK_F5, true);
    key(XK_F5, true);  // what the server's auto-repeat sends
    key(XK_F5, true);
    key(XK_F5, false);
    EXPECT_EQ(reports(), (Reports{kF5, kF5}));
}

TEST_F(HookLibraryTest, KeysForThisProcessAreLeftToItsWindows) {
    library.setHook(target);
    struct Case {
        const char* focus;
        long pid;  // the focused window's _NET_WM_PID, 0 for none
        Window window;
        Reports expected;
    };
    const Reports stroke5{kF5, kF5};
    for (const Case& c : {Case{"the target window", 0, target, {}},
                          Case{"a window inside the target", 0, targetChild, {}},
                          Case{"a window of this process", getpid(), other, {}},
                          Case{"a window of another process", getpid() + 1, other, stroke5}}) {
        if (c.pid != 0) {
            setPid(c.window, c.pid);
        }
        focus(c.window);
        stroke(XK_F5);
        EXPECT_EQ(reports(), c.expected) << c.focus;
    }
}

TEST_F(HookLibraryTest, AReleaseFollowsItsPressWhereverTheFocusWent) {
    library.setHook(target);
    // The focus is looked at as the recording thread meets the press: each
    // step waits for it.
    focus(other);
    key(XK_F5, true);
    EXPECT_EQ(reports(), Reports{kF5});
    focus(target);
    key(XK_F5, false);
    EXPECT_EQ(reports(), Reports{kF5});
    // Pressed in the keyer's window, released elsewhere: not a stroke for
    // the hook.
    key(XK_F6, true);
    EXPECT_EQ(reports(), Reports{});
    focus(other);
    key(XK_F6, false);
    EXPECT_EQ(reports(), Reports{});
}

TEST_F(HookLibraryTest, SetClearAndSetAgainReportOncePerKey) {
    focus(other);
    library.clearHook();  // before any SetHook: harmless
    library.setHook(target);
    library.setHook(target);  // replaces the first hook, does not add one
    stroke(XK_F5);
    EXPECT_EQ(reports(), (Reports{kF5, kF5}));
    library.clearHook();
    library.clearHook();
    stroke(XK_F5);
    EXPECT_EQ(reports(), Reports{});
    library.setHook(target);
    stroke(XK_F5);
    EXPECT_EQ(reports(), (Reports{kF5, kF5}));
}

TEST_F(HookLibraryTest, UnloadingStopsTheHook) {
    focus(other);
    library.setHook(target);
    library.unload();
    stroke(XK_F5);
    EXPECT_EQ(reports(), Reports{});
    ASSERT_TRUE(library.loadFrom({PELKORA_HOOK_LIBRARY}));
    library.setHook(target);
    stroke(XK_F5);
    EXPECT_EQ(reports(), (Reports{kF5, kF5}));
}

TEST_F(HookLibraryTest, WithoutADisplaySetHookDoesNothing) {
    const std::string saved = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    library.setHook(target);
    setenv("DISPLAY", saved.c_str(), 1);
    focus(other);
    stroke(XK_F5);
    EXPECT_EQ(reports(), Reports{});
    library.clearHook();
}

TEST(HookLibraryLoading, AMissingLibraryIsHeldByNoOne) {
    HookLibrary library;
    EXPECT_FALSE(library.loadFrom({"/nonexistent/libpelkorahook.so", "libpelkora-no-such.so"}));
    EXPECT_FALSE(library.held());
    library.setHook(1);  // nothing to call
    library.clearHook();
    library.unload();
}

TEST(HookLibraryLoading, LooksBesideTheProgramThenInstalledThenBySystemSearch) {
    EXPECT_EQ(HookLibrary::searchPaths("/opt/pk/bin"),
              (std::vector<std::string>{"/opt/pk/bin/libpelkorahook.so",
                                        "/opt/pk/bin/../lib/pelkora/libpelkorahook.so",
                                        "libpelkorahook.so"}));
    EXPECT_EQ(HookLibrary::searchPaths(""), (std::vector<std::string>{"libpelkorahook.so"}));
}

}  // namespace
}  // namespace pelkora::test
