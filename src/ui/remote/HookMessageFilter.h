#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pelkora {

// Receives the keyboard hook's reports: X client messages of the type
// "WW_Pelkora_Hook" sent to the main window, the key code in the low 16 bits
// of the first data word. Each is handed on, in the order they arrive, and
// taken out of Qt's own handling.
// Threading: GUI thread only (the native events arrive there).
class HookMessageFilter : public QAbstractNativeEventFilter {
  public:
    static constexpr const char* kMessageName = "WW_Pelkora_Hook";
    using KeyHandler = std::function<void(std::uint16_t key)>;
    // An exception of a type the key handler does not catch itself: it must
    // not unwind through Qt's event loop.
    using FaultHandler = std::function<void(const std::string& what)>;

    // Installs itself on the application. Null unless the program runs on
    // an X server: elsewhere no hook can report.
    static std::unique_ptr<HookMessageFilter> install(KeyHandler onKey, FaultHandler onFault);
    ~HookMessageFilter() override;

    HookMessageFilter(const HookMessageFilter&) = delete;
    HookMessageFilter& operator=(const HookMessageFilter&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    HookMessageFilter(std::uint32_t atom, KeyHandler onKey, FaultHandler onFault);
    void deliver(std::uint16_t key);

    std::uint32_t atom_;
    KeyHandler onKey_;
    FaultHandler onFault_;
};

}  // namespace pelkora
