#pragma once

#include <functional>

namespace pelkora {

// Hands work from another thread (a sound server's callback thread) to the
// loop thread that runs the keyer.
// Threading: post() may be called from any thread; the task runs on the loop
// thread, in posting order.
class LoopPoster {
public:
    virtual ~LoopPoster() = default;
    virtual void post(std::function<void()> task) = 0;
};

}  // namespace pelkora
