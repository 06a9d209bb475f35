#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/LoopPoster.h"

namespace pelkora::test {

// The loop thread of a test: tasks posted from any thread wait in a queue
// until the test thread runs them.
class QueuePoster : public LoopPoster {
  public:
    void post(std::function<void()> task) override;

    // Runs posted tasks until done() holds or the timeout passes; returns done().
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void runFor(std::chrono::milliseconds duration);

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace pelkora::test
