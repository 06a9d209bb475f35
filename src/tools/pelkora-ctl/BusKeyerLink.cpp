#include "BusKeyerLink.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "StopSignals.h"

namespace pelkora {

namespace {

constexpr const char* kService = "org.pelkora.Pelkora";
constexpr const char* kPath = "/org/pelkora/Pelkora";
constexpr const char* kInterface = "org.pelkora.Pelkora";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

// sd_bus_error freed on every way out.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error); }
    std::string name() const { return error.name ? error.name : ""; }
    std::string message() const { return error.message ? error.message : ""; }
};

KeyerLink::Reply failedWith(const std::string& error) {
    KeyerLink::Reply reply;
    reply.outcome = KeyerLink::Reply::Outcome::Failed;
    reply.error = error;
    return reply;
}

KeyerLink::Reply failedWith(const char* what, int result) {
    return failedWith(std::string(what) + ": " + std::strerror(-result));
}

int append(sd_bus_message* message, const KeyerLink::Argument& argument) {
    if (const auto* text = std::get_if<std::string>(&argument)) {
        return sd_bus_message_append(message, "s", text->c_str());
    }
    return sd_bus_message_append(message, "i", std::get<std::int32_t>(argument));
}

// What monitor() waits on, filled in by the bus's callbacks.
struct Watch {
    const std::function<void(std::int32_t)>* onState = nullptr;
    bool keyerLeft = false;
};

int onStateSignal(sd_bus_message* message, void* userdata, sd_bus_error*) {
    std::int32_t code = 0;
    // A State with other arguments is not ours to guess at.
    if (sd_bus_message_read(message, "i", &code) > 0) {
        (*static_cast<Watch*>(userdata)->onState)(code);
    }
    return 0;
}

int onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) > 0 &&
        newOwner[0] == '\0') {
        static_cast<Watch*>(userdata)->keyerLeft = true;
    }
    return 0;
}

// Milliseconds for poll() until sd-bus's own deadline (absolute, monotonic).
int pollTimeout(std::uint64_t deadlineUsec) {
    if (deadlineUsec == UINT64_MAX) {
        return -1;
    }
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto nowUsec = static_cast<std::uint64_t>(now.tv_sec) * 1000000U +
                         static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
    if (deadlineUsec <= nowUsec) {
        return 0;
    }
    return static_cast<int>(
        std::min<std::uint64_t>((deadlineUsec - nowUsec + 999U) / 1000U, INT_MAX));
}

enum class WaitEnd { Stopped, KeyerLeft, BusLost };

// Sleeps until the bus has work or a stop signal came: 1 stopped, 0 go on,
// negative errno when the bus cannot be waited on.
int waitOnce(sd_bus* bus, int stopFd) {
    const int events = sd_bus_get_events(bus);
    if (events < 0) {
        return events;
    }
    std::uint64_t deadline = UINT64_MAX;
    sd_bus_get_timeout(bus, &deadline);
    pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(events), 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, pollTimeout(deadline)) < 0) {
        return errno == EINTR ? 0 : -errno;
    }
    return (fds[1].revents & POLLIN) != 0 ? 1 : 0;
}

WaitEnd runWatch(sd_bus* bus, int stopFd, const Watch& watch) {
    while (!watch.keyerLeft) {
        int result = sd_bus_process(bus, nullptr);
        if (result < 0) {
            return WaitEnd::BusLost;
        }
        if (result > 0) {
            continue;
        }
        result = waitOnce(bus, stopFd);
        if (result < 0) {
            return WaitEnd::BusLost;
        }
        if (result > 0) {
            return WaitEnd::Stopped;
        }
    }
    return WaitEnd::KeyerLeft;
}

// -1 when the bus cannot say, else whether the keyer holds its name.
int keyerOnBus(sd_bus* bus) {
    BusError error;
    sd_bus_message* answer = nullptr;
    int result = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "NameHasOwner", &error.error, &answer,
                                    "s", kService);
    const Message owned(answer);
    int has = 0;
    if (result >= 0) {
        result = sd_bus_message_read(answer, "b", &has);
    }
    return result < 0 ? -1 : (has != 0 ? 1 : 0);
}

}  // namespace

BusKeyerLink::BusKeyerLink(std::chrono::milliseconds timeout) : timeout_(timeout) {}

BusKeyerLink::~BusKeyerLink() {
    sd_bus_flush_close_unref(bus_);
}

KeyerLink::Reply BusKeyerLink::failure(int result, const std::string& errorName,
                                       const std::string& errorMessage, bool busOpen) {
    Reply reply;
    if (errorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        errorName == "org.freedesktop.DBus.Error.NameHasNoOwner") {
        reply.outcome = Reply::Outcome::NoKeyer;
        return reply;
    }
    const std::string text =
        errorName.empty() ? std::string(std::strerror(-result)) : errorName + ": " + errorMessage;
    if (!busOpen) {
        // The bus refused or dropped us before an answer: no keyer could hear.
        reply.outcome = Reply::Outcome::NoBus;
        reply.error = "the session bus closed the connection: " + text;
        return reply;
    }
    reply.outcome = Reply::Outcome::Failed;
    reply.timedOut = result == -ETIMEDOUT || errorName == "org.freedesktop.DBus.Error.NoReply" ||
                     errorName == "org.freedesktop.DBus.Error.Timeout";
    reply.error = text;
    return reply;
}

sd_bus* BusKeyerLink::bus(Reply& reply) {
    if (bus_ != nullptr) {
        return bus_;
    }
    const int result = sd_bus_open_user(&bus_);
    if (result >= 0) {
        return bus_;
    }
    bus_ = nullptr;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    reply.outcome = Reply::Outcome::NoBus;
    reply.error = std::string("cannot connect: ") + std::strerror(-result) +
                  " (DBUS_SESSION_BUS_ADDRESS=" +
                  (address != nullptr && address[0] != '\0' ? address : "unset") + ")";
    return nullptr;
}

sd_bus_message* BusKeyerLink::newCall(const char* interface, const std::string& method,
                                      Reply& reply) {
    sd_bus* connection = bus(reply);
    if (connection == nullptr) {
        return nullptr;
    }
    sd_bus_message* message = nullptr;
    int result = sd_bus_message_new_method_call(connection, &message, kService, kPath, interface,
                                                method.c_str());
    if (result >= 0) {
        result = sd_bus_message_set_auto_start(message, 0);
    }
    if (result < 0) {
        sd_bus_message_unref(message);
        reply = failedWith("cannot make the call", result);
        return nullptr;
    }
    return message;
}

KeyerLink::Reply BusKeyerLink::exchange(sd_bus_message* message, sd_bus_message** answer) {
    const Message owned(message);
    BusError error;
    const auto timeoutUsec = static_cast<std::uint64_t>(timeout_.count()) * 1000U;
    const int result = sd_bus_call(bus_, message, timeoutUsec, &error.error, answer);
    if (result >= 0) {
        return Reply{};
    }
    return failure(result, error.name(), error.message(), sd_bus_is_open(bus_) > 0);
}

KeyerLink::Reply BusKeyerLink::call(const std::string& method,
                                    const std::vector<Argument>& arguments) {
    Reply reply;
    sd_bus_message* message = newCall(kInterface, method, reply);
    if (message == nullptr) {
        return reply;
    }
    for (const Argument& argument : arguments) {
        const int result = append(message, argument);
        if (result < 0) {
            sd_bus_message_unref(message);
            return failedWith("cannot add an argument", result);
        }
    }
    sd_bus_message* answer = nullptr;
    reply = exchange(message, &answer);
    sd_bus_message_unref(answer);
    return reply;
}

KeyerLink::Reply BusKeyerLink::readProperty(const std::string& name) {
    Reply reply;
    sd_bus_message* message = newCall(kProperties, "Get", reply);
    if (message == nullptr) {
        return reply;
    }
    const int result = sd_bus_message_append(message, "ss", kInterface, name.c_str());
    if (result < 0) {
        sd_bus_message_unref(message);
        return failedWith("cannot add an argument", result);
    }
    sd_bus_message* answer = nullptr;
    reply = exchange(message, &answer);
    const Message owned(answer);
    if (!reply.ok()) {
        return reply;
    }
    std::int32_t value = 0;
    if (sd_bus_message_enter_container(answer, 'v', "i") <= 0 ||
        sd_bus_message_read(answer, "i", &value) <= 0) {
        return failedWith("the property " + name + " is not an int32");
    }
    reply.value = value;
    return reply;
}

KeyerLink::Reply BusKeyerLink::writeProperty(const std::string& name, std::int32_t value) {
    Reply reply;
    sd_bus_message* message = newCall(kProperties, "Set", reply);
    if (message == nullptr) {
        return reply;
    }
    const int result = sd_bus_message_append(message, "ssv", kInterface, name.c_str(), "i", value);
    if (result < 0) {
        sd_bus_message_unref(message);
        return failedWith("cannot add an argument", result);
    }
    sd_bus_message* answer = nullptr;
    reply = exchange(message, &answer);
    sd_bus_message_unref(answer);
    return reply;
}

KeyerLink::Reply BusKeyerLink::monitor(const std::function<void(std::int32_t)>& onState) {
    // First, so that a signal from here on ends the watch rather than the process.
    const StopSignals stop;
    Reply reply;
    sd_bus* connection = bus(reply);
    if (connection == nullptr) {
        return reply;
    }
    Watch watch;
    watch.onState = &onState;
    // Both matches are in place (AddMatch is answered) before the look-up, so
    // that nothing that happens between them is missed.
    sd_bus_slot* owner = nullptr;
    sd_bus_slot* state = nullptr;
    int result = sd_bus_add_match(connection, &owner,
                                  "type='signal',sender='org.freedesktop.DBus',"
                                  "path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
                                  "member='NameOwnerChanged',arg0='org.pelkora.Pelkora'",
                                  onOwnerChanged, &watch);
    const Slot ownerSlot(owner);
    if (result >= 0) {
        result = sd_bus_match_signal(connection, &state, kService, kPath, kInterface, "State",
                                     onStateSignal, &watch);
    }
    const Slot stateSlot(state);
    if (result < 0) {
        return failure(result, "", "", sd_bus_is_open(connection) > 0);
    }
    const int present = keyerOnBus(connection);
    if (present < 0) {
        return failure(-EPROTO, "", "", sd_bus_is_open(connection) > 0);
    }
    if (present == 0) {
        reply.outcome = Reply::Outcome::NoKeyer;
        return reply;
    }
    switch (runWatch(connection, stop.readFd(), watch)) {
        case WaitEnd::Stopped:
            break;
        case WaitEnd::KeyerLeft:
            reply.outcome = Reply::Outcome::NoKeyer;
            reply.error = "the keyer left the session bus (org.pelkora.Pelkora)";
            break;
        case WaitEnd::BusLost:
            reply.outcome = Reply::Outcome::NoBus;
            reply.error = "the session bus closed the connection while watching";
            break;
    }
    return reply;
}

}  // namespace pelkora
