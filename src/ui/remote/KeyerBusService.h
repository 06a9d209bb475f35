#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/CoPelkoran.h"
#include "core/remote/LoggerControl.h"
#include "core/remote/ObjectCount.h"
#include "core/remote/RemoteHost.h"
#include "core/remote/WindowFrame.h"
#include "platform/DiagnosticLog.h"
#include "platform/MessageBus.h"
#include "ui/remote/AutomationEndpoint.h"

class QDBusServiceWatcher;

namespace pelkora {

class AutomationObject;

// The running keyer on the session bus: other programs (a logger) play
// macros, key the transmitter and place the window through it, and hear
// every state broadcast as its State signal, in order. Clients may also
// create automation objects of their own (CreateObject); those are counted,
// end with their client, and a keyer the bus started for a client ends with
// the last of them.
//
// It is the program's message bus from the start (the window's engine
// broadcasts through it); it answers calls once open() has put it on the bus.
// Without a session bus, or with the name taken by another keyer, the keyer
// works on alone and says so in the diagnostic log.
// Threading: GUI thread only; calls arrive through the GUI thread's loop.
class KeyerBusService : public AutomationEndpoint, public MessageBus {
    Q_OBJECT
  public:
    static constexpr const char* kServiceName = "org.pelkora.Pelkora";
    static constexpr const char* kObjectPath = "/org/pelkora/Pelkora";
    static constexpr const char* kInterfaceName = "org.pelkora.Pelkora";
    static constexpr const char* kServerInterfaceName = "org.pelkora.Pelkora.Server";
    static constexpr const char* kObjectPathPrefix = "/org/pelkora/Pelkora/Object/";

    explicit KeyerBusService(QObject* parent = nullptr);
    ~KeyerBusService() override;

    // A keyer the bus started for a client ends when the last object is
    // released. Set before the first object is created.
    void setEndsWithLastObject(bool ends);

    // Connects the calls to the keyer and takes the name on the session bus.
    // False when the keyer stays off the bus (the reason is in the log).
    bool open(KeyerEngine& engine, RemoteHost& host, WindowFrame& frame, DiagnosticLog& log,
              QDBusConnection connection = QDBusConnection::sessionBus());
    // Leaves the bus, with every client's object; later calls are not
    // answered. The destructor does it.
    void close();
    bool isOnBus() const { return registered_; }

    const ObjectCount& objects() const { return objects_; }

    // The last object was released in a keyer that ends with it: the engine
    // has been shut down (the transmitter released) when this runs, from the
    // loop once the release call has been answered.
    std::function<void()> onLastObjectReleased;

    // MessageBus
    void broadcastState(int code) override;

  public slots:
    void Control(int Code);
    QDBusObjectPath CreateObject();
    void ReleaseObject(const QDBusObjectPath& Object);

  signals:
    void State(int Code);

  private slots:
    void clientVanished(const QString& client);

  private:
    void watch(const QString& client);
    bool clientHoldsObjects(const QString& client) const;
    // Unregisters and ends one object; true when the keyer is to end now.
    bool endObject(const QString& path);
    void endIfLast(bool last);
    void releaseTransmitterOf(const QString& client);

    KeyerEngine* engine_ = nullptr;
    DiagnosticLog* log_ = nullptr;
    std::unique_ptr<CoPelkoran> automation_;
    std::unique_ptr<LoggerControl> loggerControl_;
    QDBusConnection connection_{QString()};
    bool registered_ = false;

    ObjectCount objects_{false};
    std::map<QString, std::unique_ptr<AutomationObject>> objectsByPath_;
    std::uint64_t lastObjectNumber_ = 0;
    QDBusServiceWatcher* watcher_ = nullptr;
    // The client whose object is pressing TX at this moment, and the one
    // whose object keyed the transmitter as it is now ("" for anyone else).
    QString keyingClient_;
    QString keyedBy_;
};

}  // namespace pelkora
