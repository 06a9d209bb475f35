#pragma once

#include <chrono>
#include <memory>

#include "core/ptt/PortRoute.h"
#include "platform/LoopPoster.h"
#include "platform/PttDevice.h"
#include "platform/hamlib/RigWorkerThread.h"

namespace pelkora {

class ClosablePoster;
class HamlibRigSession;

// Keys the transmitter through Hamlib: a running rigctld, a radio's CAT
// port, or a CM108 GPIO pin (PortRoute kinds Rigctld, HamlibRig, Cm108).
// Each device has a worker thread that makes the Hamlib calls in the order
// they were asked for; their completions come back through the loop poster.
// Threading: loop thread only (the thread that runs the poster's tasks).
class HamlibPttDevice : public PttDevice {
  public:
    // How long destruction waits for the worker to release and close the
    // rig before leaving it to finish alone.
    static constexpr std::chrono::milliseconds kCloseWait{3000};

    HamlibPttDevice(const PortRoute& route, LoopPoster& poster);
    // Drops the operations not started yet (their completions never run),
    // then releases and closes the rig, waiting at most kCloseWait.
    ~HamlibPttDevice() override;
    HamlibPttDevice(const HamlibPttDevice&) = delete;
    HamlibPttDevice& operator=(const HamlibPttDevice&) = delete;

    void open(Done done) override;
    // lineChoice is ignored: the rig keys the way its PortRoute says.
    void setPtt(bool on, int lineChoice, Done done) override;
    // Returns at once; the worker releases and closes after the operations
    // asked for before.
    void close() override;
    bool isOpen() const override { return open_; }

    // For a handler of a fatal signal: async-signal-safe, sends rigctld's
    // PTT-off command on every rigctld connection that may be keyed. A CAT
    // radio or a CM108 pin cannot be reached safely from a handler.
    static void releaseAfterFault() noexcept;

  private:
    std::shared_ptr<HamlibRigSession> session_;
    std::shared_ptr<ClosablePoster> poster_;
    RigWorkerThread worker_;
    bool open_ = false;
    // Counts open() and close() calls, so that the completion of an open
    // overtaken by a close does not mark the device open.
    unsigned generation_ = 0;
};

}  // namespace pelkora
