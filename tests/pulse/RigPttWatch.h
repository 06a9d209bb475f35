#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pelkora::test {

// Asks a rigctld for its PTT state ("t") every period over a connection of
// its own, as a second client on the rig would, and dates each answer on
// CLOCK_MONOTONIC (the clock of MonitorRecorder), so that what the rig did can
// be set against what went on air. An answer is dated when it arrives: the
// rig changed at most one period plus a round trip earlier.
// Threading: polls on its own thread; the methods are called from one test
// thread.
class RigPttWatch {
  public:
    struct Sample {
        double seconds = 0;  // CLOCK_MONOTONIC
        bool keyed = false;
    };

    RigPttWatch() = default;
    ~RigPttWatch();
    RigPttWatch(const RigPttWatch&) = delete;
    RigPttWatch& operator=(const RigPttWatch&) = delete;

    // Connects to localhost:port and starts polling; empty on success, else why not.
    std::string start(int port, std::chrono::milliseconds period = std::chrono::milliseconds(10));
    // Stops polling; the samples stay.
    void stop();

    std::vector<Sample> samples() const;
    // The last answer that was not understood, if any (a dropped connection is one).
    std::string fault() const;

    // The first sample keyed at or after `from`, and the first released after
    // that one; nullopt when there is none.
    static std::optional<Sample> firstKeyed(const std::vector<Sample>& samples, double from = 0);
    static std::optional<Sample> firstReleasedAfter(const std::vector<Sample>& samples,
                                                    double from);

  private:
    void poll(std::chrono::milliseconds period);
    std::optional<bool> ask();

    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> running_{false};
    mutable std::mutex mutex_;
    std::vector<Sample> samples_;
    std::string fault_;
};

}  // namespace pelkora::test
