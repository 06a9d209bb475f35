#include "ui/remote/HookMessageFilter.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>

namespace pelkora {

namespace {

// The message type as the server numbers it; 0 (no atom) when it cannot tell.
std::uint32_t internAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

}  // namespace

std::unique_ptr<HookMessageFilter> HookMessageFilter::install(KeyHandler onKey,
                                                              FaultHandler onFault) {
    if (QGuiApplication::platformName() != "xcb") {
        return nullptr;
    }
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return nullptr;
    }
    const std::uint32_t atom = internAtom(x11->connection(), kMessageName);
    if (atom == XCB_ATOM_NONE) {
        return nullptr;
    }
    std::unique_ptr<HookMessageFilter> filter(
        new HookMessageFilter(atom, std::move(onKey), std::move(onFault)));
    QCoreApplication::instance()->installNativeEventFilter(filter.get());
    return filter;
}

HookMessageFilter::HookMessageFilter(std::uint32_t atom, KeyHandler onKey, FaultHandler onFault)
    : atom_(atom), onKey_(std::move(onKey)), onFault_(std::move(onFault)) {}

HookMessageFilter::~HookMessageFilter() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool HookMessageFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                          qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t" || message == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // The top bit marks an event sent by a client, which the hook's are.
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->type != atom_ || client->format != 32) {
        return false;
    }
    deliver(static_cast<std::uint16_t>(client->data.data32[0] & 0xFFFFu));
    return true;
}

void HookMessageFilter::deliver(std::uint16_t key) {
    try {
        onKey_(key);
    } catch (const std::exception& error) {
        onFault_(error.what());
    } catch (...) {
        onFault_("an unknown exception while handling a hook key");
    }
}

}  // namespace pelkora
