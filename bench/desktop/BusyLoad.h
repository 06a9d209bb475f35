#pragma once

#include <sys/types.h>

#include <vector>

namespace pelkora::bench {

// Busy loops that keep cores occupied while the benchmark measures under
// load: each is a forked copy of this process spinning in place, with no
// exec. A loop is killed with its owner, however that ends (even SIGKILL),
// so that an interrupted benchmark leaves no core burning.
// Threading: create and destroy on the thread that lives longest (the main
// thread): the loops die when the thread that forked them ends.
class BusyLoad {
  public:
    // Starts count loops; throws std::runtime_error when one cannot be forked
    // (those already started are stopped).
    explicit BusyLoad(int count);
    // Kills and reaps every loop.
    ~BusyLoad();
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

    const std::vector<pid_t>& pids() const { return pids_; }

  private:
    void stopAll() noexcept;

    std::vector<pid_t> pids_;
};

}  // namespace pelkora::bench
