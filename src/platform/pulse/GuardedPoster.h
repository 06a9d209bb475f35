#pragma once

#include <functional>
#include <memory>

#include "platform/LoopPoster.h"

namespace pelkora {

// Posts work from the libpulse thread to the loop thread for an object that
// may be gone by the time the work runs: a task posted through it is dropped
// once this poster has been destroyed. Each sound-server client of the
// station (sound output, mixer) owns one, as a member destroyed with it.
// Threading: post() from any thread; constructed and destroyed on the loop
// thread, which is also where the tasks run, so the check cannot race.
class GuardedPoster {
  public:
    explicit GuardedPoster(LoopPoster& poster) : poster_(poster) {}
    GuardedPoster(const GuardedPoster&) = delete;
    GuardedPoster& operator=(const GuardedPoster&) = delete;

    // May throw (std::bad_alloc) as LoopPoster::post does.
    void post(std::function<void()> task) {
        poster_.post([alive = std::weak_ptr<bool>(alive_), task = std::move(task)] {
            if (alive.lock()) {
                task();
            }
        });
    }

  private:
    LoopPoster& poster_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace pelkora
