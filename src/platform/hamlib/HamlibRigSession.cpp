#include "platform/hamlib/HamlibRigSession.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <utility>

#include "platform/hamlib/HamlibLibrary.h"
#include "platform/hamlib/PortProbe.h"
#include "platform/hamlib/RigctldFaultRelease.h"

namespace pelkora {

namespace {

using Outcome = PttDevice::Outcome;
using Status = PttDevice::Status;

// "Communication timed out" -> "communication timed out"; an acronym such as
// "IO error" stays as it is.
std::string lowerFirst(std::string words) {
    const bool acronym = words.size() > 1 && words[1] >= 'A' && words[1] <= 'Z';
    if (!acronym && !words.empty() && words[0] >= 'A' && words[0] <= 'Z') {
        words[0] = static_cast<char>(words[0] - 'A' + 'a');
    }
    return words;
}

// "Yaesu FT-991" for a radio model, from Hamlib's own table.
std::string modelName(const RIG* rig) {
    const rig_caps* caps = rig->caps;
    return std::string(caps->mfg_name) + " " + caps->model_name;
}

}  // namespace

HamlibRigSession::HamlibRigSession(PortRoute route) : route_(std::move(route)) {}

HamlibRigSession::~HamlibRigSession() {
    close();
}

Outcome HamlibRigSession::open() {
    close();
    if (route_.kind == PortRoute::Kind::Cm108 && (route_.gpio < 1 || route_.gpio > 8)) {
        return {Status::CannotOpen, "GPIO " + std::to_string(route_.gpio) +
                                        " does not exist; a CM108 has GPIO 1 to 8."};
    }
    if (route_.kind == PortRoute::Kind::Serial) {
        return {Status::CannotOpen, route_.device + " is a serial port, not a Hamlib rig."};
    }
    if (const std::string& missing = HamlibLibrary::loadFailure(); !missing.empty()) {
        return {Status::CannotOpen, missing};
    }
    if (route_.kind == PortRoute::Kind::HamlibRig && !modelExists()) {
        return {Status::CannotOpen,
                "Hamlib has no radio model " + std::to_string(route_.rigModel) + "."};
    }
    // Outside the library lock: a connection attempt may take seconds.
    if (std::string failure = probe(); !failure.empty()) {
        return {Status::CannotOpen, failure};
    }
    return openRig();
}

std::string HamlibRigSession::probe() const {
    switch (route_.kind) {
        case PortRoute::Kind::Rigctld: {
            const std::string failure =
                probeTcpServer(route_.host, route_.tcpPort, kConnectTimeout);
            return failure.empty() ? failure
                                   : route_.describe() + " does not answer: " + failure + ".";
        }
        case PortRoute::Kind::HamlibRig: {
            const std::string failure = probeDevice(route_.device);
            return failure.empty() ? failure : failure + ".";
        }
        case PortRoute::Kind::Cm108: {
            const std::string failure = probeHidraw(route_.device);
            return failure.empty() ? failure : failure + ".";
        }
        case PortRoute::Kind::Serial:
            break;
    }
    return {};
}

Outcome HamlibRigSession::openRig() {
    auto lock = HamlibLibrary::lock();
    RIG* rig = HamlibLibrary::api().init(static_cast<rig_model_t>(model()));
    if (rig == nullptr) {
        return {Status::CannotOpen,
                "Hamlib has no radio model " + std::to_string(route_.rigModel) + "."};
    }
    rig_ = rig;
    std::string failure = configure();
    bool opened = false;
    if (failure.empty()) {
        const int code = HamlibLibrary::api().open(rig);
        opened = code == RIG_OK;
        if (!opened) {
            failure = openFailure(code);
        }
    }
    // Hamlib 4.5.4's rig_open() puts the CM108 bit number back to its default
    // (GPIO 3) after opening the device, so the operator's GPIO is set again.
    if (failure.empty() && route_.kind == PortRoute::Kind::Cm108) {
        failure = setConf("ptt_bitnum", std::to_string(route_.gpio - 1));
    }
    if (!failure.empty()) {
        if (opened) {
            HamlibLibrary::api().close(rig);
        }
        HamlibLibrary::api().cleanup(rig);
        rig_ = nullptr;
        return {Status::CannotOpen, failure};
    }
    return {};
}

bool HamlibRigSession::modelExists() const {
    if (route_.rigModel <= 0) {
        return false;
    }
    auto lock = HamlibLibrary::lock();
    const auto model = static_cast<rig_model_t>(route_.rigModel);
    HamlibLibrary::api().checkBackend(model);
    return HamlibLibrary::api().getCaps(model) != nullptr;
}

int HamlibRigSession::model() const {
    switch (route_.kind) {
        case PortRoute::Kind::Rigctld:
            return RIG_MODEL_NETRIGCTL;
        case PortRoute::Kind::Cm108:
            return RIG_MODEL_DUMMY;
        case PortRoute::Kind::HamlibRig:
        case PortRoute::Kind::Serial:
            break;
    }
    return route_.rigModel;
}

std::string HamlibRigSession::configure() {
    switch (route_.kind) {
        case PortRoute::Kind::Rigctld: {
            std::string failure = setConf("rig_pathname", rigctldAddress());
            if (failure.empty()) {
                failure = setConf("timeout", std::to_string(kRigctldReplyMs));
            }
            // A retry would send the command again into the same stream and
            // double the wait on a silent rigctld.
            return failure.empty() ? setConf("retry", "0") : failure;
        }
        case PortRoute::Kind::HamlibRig: {
            if (rig_->caps->set_ptt == nullptr) {
                return route_.describe() + " (" + modelName(rig_) +
                       ") cannot be keyed by a CAT command; key it on a serial line instead.";
            }
            std::string failure = setConf("rig_pathname", route_.device);
            if (failure.empty() && route_.baudRate != 0) {
                failure = setConf("serial_speed", std::to_string(route_.baudRate));
            }
            // The model's own time-out is kept (some radios are slow by
            // design), but not its retries: each multiplies the wait on a
            // radio that is switched off.
            if (failure.empty() && rig_->state.rigport.retry > 1) {
                failure = setConf("retry", "1");
            }
            return failure.empty() ? setConf("ptt_type", "RIG") : failure;
        }
        case PortRoute::Kind::Cm108: {
            std::string failure = setConf("ptt_type", "CM108");
            if (failure.empty()) {
                failure = setConf("ptt_pathname", route_.device);
            }
            // Hamlib numbers the CM108's GPIO pins from bit 0: GPIO 3 is bit 2.
            return failure.empty() ? setConf("ptt_bitnum", std::to_string(route_.gpio - 1))
                                   : failure;
        }
        case PortRoute::Kind::Serial:
            break;
    }
    return {};
}

std::string HamlibRigSession::setConf(const char* name, const std::string& value) {
    const token_t token = HamlibLibrary::api().tokenLookup(rig_, name);
    const int code = token == RIG_CONF_END
                         ? -RIG_EINVAL
                         : HamlibLibrary::api().setConf(rig_, token, value.c_str());
    if (code == RIG_OK) {
        return {};
    }
    return "Hamlib refused the setting " + std::string(name) + " = " + value + " for " +
           route_.describe() + ": " + lowerFirst(HamlibLibrary::errorText(code)) + ".";
}

std::string HamlibRigSession::rigctldAddress() const {
    const bool ipv6 = route_.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + route_.host + "]" : route_.host) + ":" + std::to_string(route_.tcpPort);
}

std::string HamlibRigSession::openFailure(int code) const {
    const std::string words = lowerFirst(HamlibLibrary::errorText(code));
    switch (route_.kind) {
        case PortRoute::Kind::Rigctld:
            return route_.describe() + " does not answer: " + words + ".";
        case PortRoute::Kind::HamlibRig:
            return route_.describe() + " (" + modelName(rig_) + ") does not answer: " + words + ".";
        case PortRoute::Kind::Cm108:
            // The device exists and is a hidraw device (probed before), so
            // Hamlib refused the chip itself.
            return route_.device + " is not a CM108 or compatible sound interface (" + words + ").";
        case PortRoute::Kind::Serial:
            break;
    }
    return words;
}

Outcome HamlibRigSession::setPtt(bool on) {
    if (rig_ == nullptr) {
        return {};
    }
    if (on) {
        mayBeKeyed_ = true;
        armFaultRelease();
    }
    int code = RIG_OK;
    {
        auto lock = HamlibLibrary::lock();
        code = HamlibLibrary::api().setPtt(rig_, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
    }
    if (code != RIG_OK) {
        auto lock = HamlibLibrary::lock();
        return {Status::Failed, std::string(on ? "Keying " : "Releasing ") + route_.describe() +
                                    " failed: " + lowerFirst(HamlibLibrary::errorText(code)) + "."};
    }
    if (!on) {
        mayBeKeyed_ = false;
        disarmFaultRelease();
    }
    return {};
}

void HamlibRigSession::close() {
    if (rig_ == nullptr) {
        return;
    }
    auto lock = HamlibLibrary::lock();
    if (mayBeKeyed_) {
        HamlibLibrary::api().setPtt(rig_, RIG_VFO_CURR, RIG_PTT_OFF);
        mayBeKeyed_ = false;
    }
    disarmFaultRelease();
    HamlibLibrary::api().close(rig_);
    HamlibLibrary::api().cleanup(rig_);
    rig_ = nullptr;
}

void HamlibRigSession::armFaultRelease() {
    if (route_.kind != PortRoute::Kind::Rigctld || faultSlot_ >= 0) {
        return;
    }
    faultSlot_ = RigctldFaultRelease::arm(rig_->state.rigport.fd, rig_->state.vfo_opt != 0);
}

void HamlibRigSession::disarmFaultRelease() {
    RigctldFaultRelease::disarm(faultSlot_);
    faultSlot_ = -1;
}

}  // namespace pelkora
