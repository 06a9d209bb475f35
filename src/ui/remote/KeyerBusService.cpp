#include "ui/remote/KeyerBusService.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusServiceWatcher>
#include <string>
#include <vector>

#include "pelkoraadaptor.h"
#include "pelkoraserveradaptor.h"
#include "ui/remote/AutomationObject.h"

namespace pelkora {

KeyerBusService::KeyerBusService(QObject* parent) : AutomationEndpoint(parent) {
    // Relay State and answer the interfaces' calls on this object's behalf.
    new PelkoraAdaptor(this);
    new PelkoraServerAdaptor(this);
}

KeyerBusService::~KeyerBusService() {
    close();
}

void KeyerBusService::setEndsWithLastObject(bool ends) {
    if (objects_.count() == 0) {
        objects_ = ObjectCount(ends);
    }
}

bool KeyerBusService::open(KeyerEngine& engine, RemoteHost& host, WindowFrame& frame,
                           DiagnosticLog& log, QDBusConnection connection) {
    close();
    engine_ = &engine;
    log_ = &log;
    automation_ = std::make_unique<CoPelkoran>(engine, host, frame);
    loggerControl_ = std::make_unique<LoggerControl>(engine, host);
    attach(automation_.get(), engine_);
    if (!connection.isConnected()) {
        log.logString("DBus", "no session bus: " + connection.lastError().message().toStdString());
        return false;
    }
    if (!connection.registerObject(kObjectPath, this)) {
        log.logString("DBus", std::string("object path taken: ") + kObjectPath);
        return false;
    }
    // Only one keyer can hold the name: a second one keeps its window and
    // leaves the bus to the first.
    if (!connection.registerService(kServiceName)) {
        connection.unregisterObject(kObjectPath);
        log.logString("DBus", std::string("name taken: ") + kServiceName + " (" +
                                  connection.lastError().message().toStdString() + ")");
        return false;
    }
    connection_ = connection;
    registered_ = true;
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &KeyerBusService::clientVanished);
    log.logString("DBus", std::string("on the session bus as ") + kServiceName);
    return true;
}

void KeyerBusService::close() {
    if (!registered_) {
        return;
    }
    // Leaving the bus is not a client's release: the count stays as it was
    // and nothing is ended on its account.
    for (const auto& entry : objectsByPath_) {
        connection_.unregisterObject(entry.first);
    }
    objectsByPath_.clear();
    delete watcher_;
    watcher_ = nullptr;
    connection_.unregisterService(kServiceName);
    connection_.unregisterObject(kObjectPath);
    registered_ = false;
}

void KeyerBusService::broadcastState(int code) {
    // Every press of the TX toggle broadcasts 111 and every release 110:
    // that tells which keying a vanished client is answerable for.
    if (code == 111) {
        keyedBy_ = keyingClient_;
    } else if (code == 110) {
        keyedBy_.clear();
    }
    emit State(code);
}

void KeyerBusService::Control(int Code) {
    // The logger keys and releases without a broadcast: whatever it did
    // last is no client object's doing.
    if (Code == 110 || Code == 111) {
        keyedBy_.clear();
    }
    guarded([&] { loggerControl_->handle(Code); });
}

QDBusObjectPath KeyerBusService::CreateObject() {
    if (!registered_) {
        return {};
    }
    const QString owner = calledFromDBus() ? message().service() : QString();
    const QString path = kObjectPathPrefix + QString::number(++lastObjectNumber_);
    auto object = std::make_unique<AutomationObject>(owner, *automation_, *engine_);
    object->onFault = [this](const std::string& what) { releaseAfterFault(what); };
    object->onKeying = [this, owner](bool starting) {
        keyingClient_ = starting ? owner : QString();
    };
    if (!connection_.registerObject(path, object.get())) {
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::Failed, "the object could not be put on the bus: " + path);
        }
        return {};
    }
    const bool firstOfClient = !owner.isEmpty() && !clientHoldsObjects(owner);
    objectsByPath_.emplace(path, std::move(object));
    objects_.created();
    if (firstOfClient) {
        watch(owner);
    }
    return QDBusObjectPath(path);
}

void KeyerBusService::ReleaseObject(const QDBusObjectPath& Object) {
    const QString caller = calledFromDBus() ? message().service() : QString();
    const auto found = objectsByPath_.find(Object.path());
    if (found == objectsByPath_.end() || found->second->owner() != caller) {
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::UnknownObject,
                           "no object of yours at " + Object.path() + ": nothing was released");
        }
        return;
    }
    const bool last = endObject(Object.path());
    if (!caller.isEmpty() && !clientHoldsObjects(caller) && watcher_ != nullptr) {
        watcher_->removeWatchedService(caller);
    }
    endIfLast(last);
}

void KeyerBusService::watch(const QString& client) {
    watcher_->addWatchedService(client);
    // A client that left before the watch began would never be heard of.
    QDBusConnectionInterface* bus = connection_.interface();
    if (bus != nullptr && !bus->isServiceRegistered(client).value()) {
        QMetaObject::invokeMethod(
            this, [this, client] { clientVanished(client); }, Qt::QueuedConnection);
    }
}

void KeyerBusService::clientVanished(const QString& client) {
    if (watcher_ != nullptr) {
        watcher_->removeWatchedService(client);
    }
    if (!clientHoldsObjects(client)) {
        return;
    }
    std::vector<QString> paths;
    for (const auto& [path, object] : objectsByPath_) {
        if (object->owner() == client) {
            paths.push_back(path);
        }
    }
    bool last = false;
    for (const QString& path : paths) {
        last = endObject(path) || last;
    }
    if (log_ != nullptr) {
        log_->logString("DBus", "client " + client.toStdString() + " left the bus; " +
                                    std::to_string(paths.size()) + " object(s) released");
    }
    releaseTransmitterOf(client);
    endIfLast(last);
}

void KeyerBusService::releaseTransmitterOf(const QString& client) {
    if (keyedBy_ != client || engine_ == nullptr || !engine_->txDown()) {
        return;
    }
    // Nobody is left to release what that client keyed.
    if (log_ != nullptr) {
        log_->logString("DBus", "client " + client.toStdString() +
                                    " left with the transmitter keyed: released");
    }
    guarded([&] { automation_->StopPlay(); });
}

bool KeyerBusService::clientHoldsObjects(const QString& client) const {
    for (const auto& entry : objectsByPath_) {
        if (entry.second->owner() == client) {
            return true;
        }
    }
    return false;
}

bool KeyerBusService::endObject(const QString& path) {
    connection_.unregisterObject(path);
    objectsByPath_.erase(path);
    return objects_.released();
}

void KeyerBusService::endIfLast(bool last) {
    if (!last) {
        return;
    }
    if (log_ != nullptr) {
        log_->logString("DBus", "the last automation object was released: ending");
    }
    guarded([&] { engine_->shutdown(); });
    // From the loop: the release call is answered before the program ends.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (onLastObjectReleased) {
                onLastObjectReleased();
            }
        },
        Qt::QueuedConnection);
}

}  // namespace pelkora
