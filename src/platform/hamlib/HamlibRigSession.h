#pragma once

#include <chrono>
#include <string>

#include "core/ptt/PortRoute.h"
#include "platform/PttDevice.h"

struct s_rig;  // Hamlib's RIG

namespace pelkora {

// One Hamlib rig that keys the transmitter: rigctld over TCP, a radio on its
// CAT port, or the GPIO pin of a CM108 sound interface. Every call blocks
// until the rig answers or its time-out passes, which is why only a worker
// thread may make them (HamlibPttDevice).
// Threading: one thread at a time; Hamlib itself is entered under
// HamlibLibrary::lock().
class HamlibRigSession {
  public:
    // How long a rigctld gets to accept the connection, and then to answer
    // each command. A rigctld that accepts and stays silent fails the open
    // within about two reply times (Hamlib reads twice while opening).
    static constexpr std::chrono::milliseconds kConnectTimeout{3000};
    static constexpr int kRigctldReplyMs = 1000;

    explicit HamlibRigSession(PortRoute route);
    ~HamlibRigSession();
    HamlibRigSession(const HamlibRigSession&) = delete;
    HamlibRigSession& operator=(const HamlibRigSession&) = delete;

    // Opens the rig (closing it first if it is open). The transmitter is not
    // touched: a rig reached through rigctld is shared with other programs,
    // and one of them may be transmitting.
    PttDevice::Outcome open();
    // Keys or releases; Ok without doing anything when the rig is not open.
    PttDevice::Outcome setPtt(bool on);
    // Releases the transmitter if this session may have keyed it, then
    // closes the rig.
    void close();
    bool isOpen() const { return rig_ != nullptr; }

  private:
    PttDevice::Outcome openRig();
    bool modelExists() const;
    int model() const;
    std::string configure();
    std::string setConf(const char* name, const std::string& value);
    std::string openFailure(int code) const;
    std::string probe() const;
    std::string rigctldAddress() const;
    void armFaultRelease();
    void disarmFaultRelease();

    PortRoute route_;
    s_rig* rig_ = nullptr;
    // Set when keying was attempted (a timed-out command may still have
    // reached the radio); cleared by a release that succeeded.
    bool mayBeKeyed_ = false;
    int faultSlot_ = -1;
};

}  // namespace pelkora
