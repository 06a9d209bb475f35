#include "platform/hamlib/ClosablePoster.h"

#include <utility>

namespace pelkora {

void ClosablePoster::post(std::function<void()> task) {
    // Held while posting, so shutDown() cannot return while a post into a
    // poster that is about to go is under way.
    std::lock_guard lock(mutex_);
    if (poster_ == nullptr) {
        return;
    }
    poster_->post([alive = std::weak_ptr<bool>(alive_), task = std::move(task)] {
        if (alive.lock()) {
            task();
        }
    });
}

void ClosablePoster::shutDown() {
    std::lock_guard lock(mutex_);
    poster_ = nullptr;
    alive_.reset();
}

}  // namespace pelkora
