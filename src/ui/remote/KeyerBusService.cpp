#include "ui/remote/KeyerBusService.h"

#include <QDBusError>
#include <exception>
#include <new>
#include <string>

#include "pelkoraadaptor.h"

namespace pelkora {

KeyerBusService::KeyerBusService(QObject* parent) : QObject(parent) {
    // Relays State and answers the interface's calls on this object's behalf.
    new PelkoraAdaptor(this);
}

KeyerBusService::~KeyerBusService() {
    close();
}

bool KeyerBusService::open(KeyerEngine& engine, RemoteHost& host, WindowFrame& frame,
                           DiagnosticLog& log, QDBusConnection connection) {
    close();
    engine_ = &engine;
    automation_ = std::make_unique<CoPelkoran>(engine, host, frame);
    loggerControl_ = std::make_unique<LoggerControl>(engine, host);
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
    log.logString("DBus", std::string("on the session bus as ") + kServiceName);
    return true;
}

void KeyerBusService::close() {
    if (registered_) {
        connection_.unregisterService(kServiceName);
        connection_.unregisterObject(kObjectPath);
        registered_ = false;
    }
}

void KeyerBusService::broadcastState(int code) {
    emit State(code);
}

void KeyerBusService::Show() {
    guarded([&] { automation_->Show(); });
}

void KeyerBusService::Hide() {
    guarded([&] { automation_->Hide(); });
}

void KeyerBusService::PlayMacros(const QString& Macro, const QString& eCall, const QString& eRS) {
    if (refuseLongText(Macro, "Macro") || refuseLongText(eCall, "eCall") ||
        refuseLongText(eRS, "eRS")) {
        return;
    }
    guarded([&] {
        automation_->PlayMacros(Macro.toStdString(), eCall.toStdString(), eRS.toStdString());
    });
}

void KeyerBusService::StopPlay() {
    guarded([&] { automation_->StopPlay(); });
}

void KeyerBusService::StartPlay() {
    guarded([&] { automation_->StartPlay(); });
}

void KeyerBusService::SetStartDir(const QString& StartDir) {
    if (refuseLongText(StartDir, "StartDir")) {
        return;
    }
    guarded([&] { automation_->SetStartDir(StartDir.toStdString()); });
}

void KeyerBusService::Control(int Code) {
    guarded([&] { loggerControl_->handle(Code); });
}

int KeyerBusService::Top() const {
    return automation_->Top();
}

int KeyerBusService::Left() const {
    return automation_->Left();
}

int KeyerBusService::Width() const {
    return automation_->Width();
}

int KeyerBusService::Height() const {
    return automation_->Height();
}

void KeyerBusService::setTop(int value) {
    guarded([&] { automation_->setTop(value); });
}

void KeyerBusService::setLeft(int value) {
    guarded([&] { automation_->setLeft(value); });
}

void KeyerBusService::setWidth(int value) {
    guarded([&] { automation_->setWidth(value); });
}

void KeyerBusService::setHeight(int value) {
    guarded([&] { automation_->setHeight(value); });
}

void KeyerBusService::guarded(const std::function<void()>& action) {
    // An exception must not unwind into the bus library's dispatch: it would
    // end the program with the transmitter as it was.
    std::string what;
    try {
        action();
        return;
    } catch (const std::bad_alloc&) {
        what = "out of memory";
    } catch (const std::exception& failure) {
        what = failure.what();
    } catch (...) {
        what = "unknown exception";
    }
    if (onFault) {
        onFault(what);
    } else {
        engine_->shutdownAfterFault();
    }
    if (calledFromDBus()) {
        sendErrorReply(QDBusError::Failed, QString::fromStdString(what));
    }
}

bool KeyerBusService::refuseLongText(const QString& text, const char* argument) {
    if (text.size() <= kMaxTextLength) {
        return false;
    }
    if (calledFromDBus()) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QString("%1 is longer than %2 characters: nothing was done")
                           .arg(QString::fromLatin1(argument))
                           .arg(kMaxTextLength));
    }
    return true;
}

}  // namespace pelkora
