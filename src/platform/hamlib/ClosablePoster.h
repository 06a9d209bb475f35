#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/LoopPoster.h"

namespace pelkora {

// Posts completions from a worker thread to the loop for an object that may
// be destroyed while its worker is still busy. After shutDown() nothing more
// reaches the loop poster, and a task already posted does not run: the
// worker may outlive both the object and, at the program's exit, the loop.
// Shared (std::shared_ptr) between the object and its worker's jobs.
// Threading: post() from any thread; shutDown() on the loop thread, where
// the tasks run too, so the check made there cannot race with it.
class ClosablePoster {
  public:
    explicit ClosablePoster(LoopPoster& poster) : poster_(&poster) {}
    ClosablePoster(const ClosablePoster&) = delete;
    ClosablePoster& operator=(const ClosablePoster&) = delete;

    // May throw (std::bad_alloc) as LoopPoster::post does.
    void post(std::function<void()> task);
    void shutDown();

  private:
    std::mutex mutex_;
    LoopPoster* poster_;  // null once shut down
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace pelkora
