#include "ui/remote/AutomationEndpoint.h"

#include <QDBusError>
#include <exception>
#include <new>

namespace pelkora {

AutomationEndpoint::AutomationEndpoint(QObject* parent) : QObject(parent) {}

void AutomationEndpoint::attach(CoPelkoran* automation, KeyerEngine* engine) {
    automation_ = automation;
    engine_ = engine;
}

void AutomationEndpoint::Show() {
    guarded([&] { automation_->Show(); });
}

void AutomationEndpoint::Hide() {
    guarded([&] { automation_->Hide(); });
}

void AutomationEndpoint::PlayMacros(const QString& Macro, const QString& eCall,
                                    const QString& eRS) {
    if (refuseLongText(Macro, "Macro") || refuseLongText(eCall, "eCall") ||
        refuseLongText(eRS, "eRS")) {
        return;
    }
    guarded([&] {
        automation_->PlayMacros(Macro.toStdString(), eCall.toStdString(), eRS.toStdString());
    });
}

void AutomationEndpoint::StopPlay() {
    guarded([&] { automation_->StopPlay(); });
}

void AutomationEndpoint::StartPlay() {
    guarded([&] { automation_->StartPlay(); });
}

void AutomationEndpoint::SetStartDir(const QString& StartDir) {
    if (refuseLongText(StartDir, "StartDir")) {
        return;
    }
    guarded([&] { automation_->SetStartDir(StartDir.toStdString()); });
}

int AutomationEndpoint::Top() const {
    return automation_ != nullptr ? automation_->Top() : 0;
}

int AutomationEndpoint::Left() const {
    return automation_ != nullptr ? automation_->Left() : 0;
}

int AutomationEndpoint::Width() const {
    return automation_ != nullptr ? automation_->Width() : 0;
}

int AutomationEndpoint::Height() const {
    return automation_ != nullptr ? automation_->Height() : 0;
}

void AutomationEndpoint::setTop(int value) {
    guarded([&] { automation_->setTop(value); });
}

void AutomationEndpoint::setLeft(int value) {
    guarded([&] { automation_->setLeft(value); });
}

void AutomationEndpoint::setWidth(int value) {
    guarded([&] { automation_->setWidth(value); });
}

void AutomationEndpoint::setHeight(int value) {
    guarded([&] { automation_->setHeight(value); });
}

void AutomationEndpoint::releaseAfterFault(const std::string& what) {
    if (onFault) {
        onFault(what);
    } else if (engine_ != nullptr) {
        engine_->shutdownAfterFault();
    }
}

void AutomationEndpoint::guarded(const std::function<void()>& action) {
    if (automation_ == nullptr) {
        return;
    }
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
    releaseAfterFault(what);
    if (calledFromDBus()) {
        sendErrorReply(QDBusError::Failed, QString::fromStdString(what));
    }
}

bool AutomationEndpoint::refuseLongText(const QString& text, const char* argument) {
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
