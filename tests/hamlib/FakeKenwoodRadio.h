#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelkora::test {

// A Kenwood TS-2000 (Hamlib model 2014) on the far side of a pseudo
// terminal: enough of its CAT protocol for Hamlib to open it and key it.
// A radio is the one part of the path that cannot run here.
// Threading: constructed and read on the test thread; answers on its own.
class FakeKenwoodRadio {
  public:
    FakeKenwoodRadio();
    ~FakeKenwoodRadio();
    FakeKenwoodRadio(const FakeKenwoodRadio&) = delete;
    FakeKenwoodRadio& operator=(const FakeKenwoodRadio&) = delete;

    // The terminal Hamlib opens ("/dev/pts/3"); "" when no pty could be made.
    const std::string& device() const { return device_; }
    // Every command received so far ("TX;"), in order.
    std::vector<std::string> commands() const;
    bool received(const std::string& command) const;
    // Whether the transmitter is keyed: TX keys, RX releases.
    bool transmitting() const { return transmitting_; }
    // Stops answering, as a radio switched off.
    void fallSilent() { silent_ = true; }

  private:
    void serve();
    void answer(const std::string& command);

    int master_ = -1;
    std::string device_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::atomic<bool> transmitting_{false};
    std::atomic<bool> silent_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace pelkora::test
