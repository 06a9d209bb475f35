#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/CoPelkoran.h"
#include "core/remote/LoggerControl.h"
#include "core/remote/RemoteHost.h"
#include "core/remote/WindowFrame.h"
#include "platform/DiagnosticLog.h"
#include "platform/MessageBus.h"

namespace pelkora {

// The running keyer on the session bus: other programs (a logger) play
// macros, key the transmitter and place the window through it, and hear
// every state broadcast as its State signal, in order.
//
// It is the program's message bus from the start (the window's engine
// broadcasts through it); it answers calls once open() has put it on the bus.
// Without a session bus, or with the name taken by another keyer, the keyer
// works on alone and says so in the diagnostic log.
// Threading: GUI thread only; calls arrive through the GUI thread's loop.
class KeyerBusService : public QObject, protected QDBusContext, public MessageBus {
    Q_OBJECT
    Q_PROPERTY(int Top READ Top WRITE setTop)
    Q_PROPERTY(int Left READ Left WRITE setLeft)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)
  public:
    static constexpr const char* kServiceName = "org.pelkora.Pelkora";
    static constexpr const char* kObjectPath = "/org/pelkora/Pelkora";
    static constexpr const char* kInterfaceName = "org.pelkora.Pelkora";
    // A macro is a line of commands and a call sign a few letters: longer
    // text is a client's fault, refused before the keyer expands it.
    static constexpr qsizetype kMaxTextLength = 64 * 1024;

    explicit KeyerBusService(QObject* parent = nullptr);
    ~KeyerBusService() override;

    // Connects the calls to the keyer and takes the name on the session bus.
    // False when the keyer stays off the bus (the reason is in the log).
    bool open(KeyerEngine& engine, RemoteHost& host, WindowFrame& frame, DiagnosticLog& log,
              QDBusConnection connection = QDBusConnection::sessionBus());
    // Leaves the bus; later calls are not answered. The destructor does it.
    void close();
    bool isOnBus() const { return registered_; }

    // MessageBus
    void broadcastState(int code) override;

    // An exception out of a call: the keyer is released (set it to the
    // program's fault report, which does that and tells the operator; unset,
    // the engine's own release runs) and the caller gets an error.
    std::function<void(const std::string& what)> onFault;

  public slots:
    void Show();
    void Hide();
    void PlayMacros(const QString& Macro, const QString& eCall, const QString& eRS);
    void StopPlay();
    void StartPlay();
    void SetStartDir(const QString& StartDir);
    void Control(int Code);

  signals:
    void State(int Code);

  private:
    int Top() const;
    int Left() const;
    int Width() const;
    int Height() const;
    void setTop(int value);
    void setLeft(int value);
    void setWidth(int value);
    void setHeight(int value);
    bool refuseLongText(const QString& text, const char* argument);
    void guarded(const std::function<void()>& action);

    KeyerEngine* engine_ = nullptr;

    std::unique_ptr<CoPelkoran> automation_;
    std::unique_ptr<LoggerControl> loggerControl_;
    QDBusConnection connection_{QString()};
    bool registered_ = false;
};

}  // namespace pelkora
