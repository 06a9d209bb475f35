#include "CtlRunner.h"

#include <array>
#include <ostream>
#include <utility>

#include "CtlExit.h"

namespace pelkora {

namespace {

constexpr std::int32_t kResume = 100;
constexpr std::int32_t kPause = 101;
constexpr std::int32_t kTxOff = 110;
constexpr std::int32_t kTxOn = 111;

// Codes that queue a macro or key the transmitter.
bool mayKey(std::int32_t code) {
    return (code >= 1 && code <= 12) || code == kTxOn;
}

}  // namespace

CtlRunner::CtlRunner(KeyerLink& link, std::ostream& out, std::ostream& err)
    : link_(link), out_(out), err_(err) {}

int CtlRunner::run(const CtlRequest& request) {
    using Verb = CtlRequest::Verb;
    switch (request.verb) {
        case Verb::Play:
            return callKeying("PlayMacros", {request.text, request.call, request.rs});
        case Verb::Key:
        case Verb::Code:
            return control(request.code);
        case Verb::TxOn:
            return callKeying("StartPlay", {});
        case Verb::TxOff:
            return finish(link_.call("StopPlay", {}));
        case Verb::Pause:
            return control(kPause);
        case Verb::Resume:
            return control(kResume);
        case Verb::Show:
            return finish(link_.call("Show", {}));
        case Verb::Hide:
            return finish(link_.call("Hide", {}));
        case Verb::GetGeometry:
            return getGeometry();
        case Verb::SetGeometry:
            return setGeometry(request);
        case Verb::SetStartDir:
            return finish(link_.call("SetStartDir", {request.text}));
        case Verb::Monitor:
            return monitor();
    }
    return CtlUsage;
}

std::string CtlRunner::stateLine(std::int32_t code) {
    static const std::array<std::pair<std::int32_t, const char*>, 4> names{{
        {kTxOn, "tx-on"},
        {kTxOff, "tx-off"},
        {kPause, "paused"},
        {kResume, "resumed"},
    }};
    for (const auto& [known, name] : names) {
        if (known == code) {
            return std::to_string(code) + " " + name;
        }
    }
    return std::to_string(code);
}

int CtlRunner::finish(const KeyerLink::Reply& reply) {
    using Outcome = KeyerLink::Reply::Outcome;
    switch (reply.outcome) {
        case Outcome::Ok:
            return CtlOk;
        case Outcome::NoBus:
            err_ << "pelkora-ctl: no session bus: " << reply.error << '\n';
            return CtlNoBus;
        case Outcome::NoKeyer:
            err_ << "pelkora-ctl: "
                 << (reply.error.empty()
                         ? "no keyer is running on the session bus (org.pelkora.Pelkora)"
                         : reply.error)
                 << '\n';
            return CtlNoKeyer;
        case Outcome::Failed:
            break;
    }
    err_ << "pelkora-ctl: the call failed: " << reply.error << '\n';
    return CtlCallFailed;
}

int CtlRunner::callKeying(const std::string& method,
                          const std::vector<KeyerLink::Argument>& arguments) {
    const KeyerLink::Reply reply = link_.call(method, arguments);
    if (reply.timedOut) {
        // The keyer may yet key the transmitter for it: take that back.
        err_ << "pelkora-ctl: no answer in time, releasing the transmitter\n";
        link_.call("StopPlay", {});
    }
    return finish(reply);
}

int CtlRunner::control(std::int32_t code) {
    if (mayKey(code)) {
        return callKeying("Control", {code});
    }
    return finish(link_.call("Control", {code}));
}

int CtlRunner::getGeometry() {
    std::array<std::int32_t, 4> values{};
    const std::array<const char*, 4> names{"Left", "Top", "Width", "Height"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const KeyerLink::Reply reply = link_.readProperty(names[i]);
        if (!reply.ok()) {
            return finish(reply);
        }
        values[i] = reply.value;
    }
    out_ << values[0] << ' ' << values[1] << ' ' << values[2] << ' ' << values[3] << std::endl;
    return CtlOk;
}

int CtlRunner::setGeometry(const CtlRequest& request) {
    const std::array<std::pair<const char*, std::int32_t>, 4> values{{
        {"Left", request.left},
        {"Top", request.top},
        {"Width", request.width},
        {"Height", request.height},
    }};
    for (const auto& [name, value] : values) {
        const KeyerLink::Reply reply = link_.writeProperty(name, value);
        if (!reply.ok()) {
            return finish(reply);
        }
    }
    return CtlOk;
}

int CtlRunner::monitor() {
    // Each line at once: a logger reading through a pipe acts on it now.
    const KeyerLink::Reply reply =
        link_.monitor([this](std::int32_t code) { out_ << stateLine(code) << std::endl; });
    return finish(reply);
}

}  // namespace pelkora
