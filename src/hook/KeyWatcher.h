#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/record.h>

#include <bitset>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace pelkora::hook {

// Watches every key of the X display with the RECORD extension and reports
// each stroke to one window as a "WW_Pelkora_Hook" client message: once when
// the key goes down (a held key's repeats are not new strokes) and once when
// it comes up, the virtual-key code in the first data word. Strokes typed
// while a window of this process has the focus are left to that window.
//
// Three connections, each used by one thread only: the control connection
// (the caller's thread) creates, disables and frees the recording context;
// the data connection is given over to the recording, which blocks in it;
// the messenger connection (the recording thread) asks for the focus and
// sends the messages.
// Threading: start and destruction on one thread; the recording thread is
// private.
class KeyWatcher {
  public:
    static constexpr const char* kMessageName = "WW_Pelkora_Hook";

    // Null when there is no display or it has no RECORD extension.
    static std::unique_ptr<KeyWatcher> start(unsigned long window);
    ~KeyWatcher();

    KeyWatcher(const KeyWatcher&) = delete;
    KeyWatcher& operator=(const KeyWatcher&) = delete;

  private:
    explicit KeyWatcher(unsigned long window) : target_(window) {}

    bool open();
    bool waitUntilRecording();
    void run();
    void stop();
    static void onRecorded(XPointer self, XRecordInterceptData* data);
    void onKey(bool press, unsigned keycode);
    void markRecording(bool recording, bool finished);
    bool focusIsOwn();
    Window focusStart();
    bool isOwn(Window window);
    Window parentOf(Window window);
    void send(unsigned keycode);

    Window target_;
    Display* control_ = nullptr;
    Display* data_ = nullptr;
    Display* messenger_ = nullptr;
    XRecordContext context_ = 0;
    Atom messageAtom_ = None;
    Atom pidAtom_ = None;
    // Keys whose press was reported: their release is reported too, wherever
    // the focus has gone, so the keyer always gets whole strokes.
    std::bitset<256> down_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool recording_ = false;
    bool finished_ = false;
};

}  // namespace pelkora::hook
