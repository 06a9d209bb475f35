#include "hook/KeyWatcher.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <unistd.h>

#include <chrono>

#include "hook/ErrorTrap.h"
#include "hook/VirtualKey.h"

namespace pelkora::hook {

namespace {

// The server enables a context within a round trip; a display that takes
// longer than this is not worth hooking.
constexpr auto kEnableWait = std::chrono::seconds(5);
// How often a disable is repeated until the recording has ended.
constexpr auto kDisableRetry = std::chrono::milliseconds(50);

Display* openDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (display != nullptr) {
        ErrorTrap::add(display);
    }
    return display;
}

void closeDisplay(Display*& display) {
    if (display != nullptr) {
        XCloseDisplay(display);
        ErrorTrap::remove(display);
        display = nullptr;
    }
}

}  // namespace

std::unique_ptr<KeyWatcher> KeyWatcher::start(unsigned long window) {
    std::unique_ptr<KeyWatcher> watcher(new KeyWatcher(window));
    if (!watcher->open()) {
        return nullptr;
    }
    watcher->thread_ = std::thread([raw = watcher.get()] { raw->run(); });
    if (!watcher->waitUntilRecording()) {
        return nullptr;
    }
    return watcher;
}

KeyWatcher::~KeyWatcher() {
    stop();
    if (context_ != 0) {
        XRecordFreeContext(control_, context_);
        XSync(control_, False);
    }
    closeDisplay(messenger_);
    closeDisplay(data_);
    closeDisplay(control_);
}

bool KeyWatcher::open() {
    control_ = openDisplay();
    data_ = openDisplay();
    messenger_ = openDisplay();
    if (control_ == nullptr || data_ == nullptr || messenger_ == nullptr) {
        return false;
    }
    int major = 0;
    int minor = 0;
    if (XRecordQueryVersion(control_, &major, &minor) == 0) {
        return false;
    }
    messageAtom_ = XInternAtom(messenger_, kMessageName, False);
    pidAtom_ = XInternAtom(messenger_, "_NET_WM_PID", False);
    XRecordRange* range = XRecordAllocRange();
    if (range == nullptr) {
        return false;
    }
    range->device_events.first = KeyPress;
    range->device_events.last = KeyRelease;
    XRecordClientSpec clients = XRecordAllClients;
    context_ = XRecordCreateContext(control_, 0, &clients, 1, &range, 1);
    XFree(range);
    // The data connection must see the context before it enables it.
    XSync(control_, False);
    return context_ != 0;
}

bool KeyWatcher::waitUntilRecording() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kEnableWait, [this] { return recording_ || finished_; });
    return recording_;
}

void KeyWatcher::run() {
    // Returns once the control connection disables the context, or at once
    // when the server refuses to enable it.
    XRecordEnableContext(data_, context_, &KeyWatcher::onRecorded,
                         reinterpret_cast<XPointer>(this));
    markRecording(false, true);
}

void KeyWatcher::stop() {
    if (!thread_.joinable()) {
        return;
    }
    std::unique_lock lock(mutex_);
    // A disable that reaches the server before the enable does nothing, and
    // the recording would then block for good: repeat it until it has ended.
    while (!finished_) {
        lock.unlock();
        XRecordDisableContext(control_, context_);
        XFlush(control_);
        lock.lock();
        changed_.wait_for(lock, kDisableRetry, [this] { return finished_; });
    }
    lock.unlock();
    thread_.join();
}

void KeyWatcher::markRecording(bool recording, bool finished) {
    {
        std::lock_guard lock(mutex_);
        recording_ = recording_ || recording;
        finished_ = finished_ || finished;
    }
    changed_.notify_all();
}

void KeyWatcher::onRecorded(XPointer self, XRecordInterceptData* data) {
    auto* watcher = reinterpret_cast<KeyWatcher*>(self);
    if (data->category == XRecordStartOfData) {
        watcher->markRecording(true, false);
    } else if (data->category == XRecordFromServer && data->data_len * 4 >= sizeof(xEvent)) {
        const auto* event = reinterpret_cast<const xEvent*>(data->data);
        const int type = event->u.u.type & 0x7F;
        if (type == KeyPress || type == KeyRelease) {
            watcher->onKey(type == KeyPress, event->u.u.detail);
        }
    }
    XRecordFreeData(data);
}

void KeyWatcher::onKey(bool press, unsigned keycode) {
    if (keycode >= down_.size()) {
        return;
    }
    if (press) {
        // A held key repeats its press: one stroke is one press.
        if (down_.test(keycode) || focusIsOwn()) {
            return;
        }
        down_.set(keycode);
    } else {
        if (!down_.test(keycode)) {
            return;
        }
        down_.reset(keycode);
    }
    send(keycode);
}

bool KeyWatcher::focusIsOwn() {
    const Window root = DefaultRootWindow(messenger_);
    for (Window window = focusStart(); window != None && window != root;
         window = parentOf(window)) {
        if (isOwn(window)) {
            return true;
        }
    }
    return false;
}

Window KeyWatcher::focusStart() {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(messenger_, &focus, &revert);
    if (focus != PointerRoot) {
        return focus;
    }
    // The focus follows the pointer: the keys go to the window under it.
    Window root = None;
    Window child = None;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned mask = 0;
    XQueryPointer(messenger_, DefaultRootWindow(messenger_), &root, &child, &rootX, &rootY, &x, &y,
                  &mask);
    return child;
}

bool KeyWatcher::isOwn(Window window) {
    if (window == target_) {
        return true;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* value = nullptr;
    const int status = XGetWindowProperty(messenger_, window, pidAtom_, 0, 1, False, XA_CARDINAL,
                                          &type, &format, &count, &after, &value);
    bool own = false;
    if (status == Success && value != nullptr && format == 32 && count == 1) {
        // Format 32 arrives as longs, whatever their size.
        own = static_cast<pid_t>(*reinterpret_cast<const long*>(value)) == getpid();
    }
    if (value != nullptr) {
        XFree(value);
    }
    return own;
}

Window KeyWatcher::parentOf(Window window) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(messenger_, window, &root, &parent, &children, &count) == 0) {
        return None;
    }
    if (children != nullptr) {
        XFree(children);
    }
    return parent;
}

void KeyWatcher::send(unsigned keycode) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = messenger_;
    event.xclient.window = target_;
    event.xclient.message_type = messageAtom_;
    event.xclient.format = 32;
    const KeySym keysym = XkbKeycodeToKeysym(messenger_, static_cast<KeyCode>(keycode), 0, 0);
    event.xclient.data.l[0] = virtualKeyOf(keysym);
    XSendEvent(messenger_, target_, False, NoEventMask, &event);
    XFlush(messenger_);
}

}  // namespace pelkora::hook
