#pragma once

#include <cstdint>
#include <string_view>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/RemoteHost.h"
#include "core/remote/WindowFrame.h"

namespace pelkora {

// What the automation object does to the running keyer. It holds no state of
// its own: every object a client creates acts on the same window and engine.
// No member reports a failure to the caller; what goes wrong inside (a
// missing sound file) reaches the operator as for a macro started by hand.
// Threading: loop thread only; a call may arrive while a queue is playing.
class CoPelkoran {
  public:
    CoPelkoran(KeyerEngine& engine, RemoteHost& host, WindowFrame& frame)
        : engine_(engine), host_(host), frame_(frame) {}

    void Show() { frame_.showWindows(); }
    void Hide() { frame_.hideWindows(); }

    // Macro is macro text, not a key number. A non-empty eCall or eRS
    // replaces its field first (an empty one cannot clear it); the macro is
    // then expanded, appended behind whatever is queued, and played.
    void PlayMacros(std::string_view Macro, std::string_view eCall, std::string_view eRS);
    // The TX toggle, with its broadcasts; the queue is neither filled nor
    // emptied.
    void StartPlay() { engine_.setTxButton(true); }
    void StopPlay() { engine_.setTxButton(false); }
    // Blanks and control characters around the directory are dropped; an
    // empty result keeps the old one. The microphone lines are looked up
    // again in every case.
    void SetStartDir(std::string_view StartDir);

    std::int32_t Top() const { return frame_.mainBounds().top; }
    std::int32_t Left() const { return frame_.mainBounds().left; }
    std::int32_t Width() const { return frame_.mainBounds().width; }
    std::int32_t Height() const { return frame_.mainBounds().height; }
    // Each moves or resizes the main window alone, keeping its other edges.
    // A negative size is taken as 0.
    void setTop(std::int32_t top);
    void setLeft(std::int32_t left);
    void setWidth(std::int32_t width);
    void setHeight(std::int32_t height);

  private:
    KeyerEngine& engine_;
    RemoteHost& host_;
    WindowFrame& frame_;
};

}  // namespace pelkora
