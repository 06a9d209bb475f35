#include "platform/pulse/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/timeval.h>

#include <stdexcept>
#include <utility>

namespace pelkora {

PulseConnection::PulseConnection(const std::string& clientName, std::chrono::milliseconds firstWait)
    : clientName_(clientName) {
    mainloop_ = pa_threaded_mainloop_new();
    if (mainloop_ == nullptr) {
        throw std::runtime_error("cannot create the sound server main loop");
    }
    api_ = pa_threaded_mainloop_get_api(mainloop_);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        pa_threaded_mainloop_free(mainloop_);
        throw std::runtime_error("cannot start the sound server thread");
    }
    {
        Lock lock(*this);
        connect();
    }
    std::unique_lock settled(settledMutex_);
    settledChanged_.wait_for(settled, firstWait, [this] { return firstAttemptSettled_; });
}

PulseConnection::~PulseConnection() {
    {
        Lock lock(*this);
        if (retryTimer_ != nullptr) {
            api_->time_free(retryTimer_);
            retryTimer_ = nullptr;
        }
        releaseContext();
    }
    // Joins the libpulse thread; our handlers never block, so this returns.
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

PulseConnection::SubscriptionId PulseConnection::subscribe(ReadyHandler onReady,
                                                           LostHandler onLost) {
    Lock lock(*this);
    const SubscriptionId id = ++lastId_;
    subscribers_.push_back(Subscriber{id, std::move(onReady), std::move(onLost)});
    const Subscriber& added = subscribers_.back();
    if (ready_ && added.onReady) {
        added.onReady(context_, false);
    } else if (!ready_ && link_ == Link::Down && added.onLost) {
        added.onLost(lossReason_);
    }
    return id;
}

void PulseConnection::unsubscribe(SubscriptionId id) {
    Lock lock(*this);
    std::erase_if(subscribers_, [id](const Subscriber& subscriber) { return subscriber.id == id; });
}

// Each subscriber on its own: one whose handler threw must not keep the
// others (the sound output among them, which ends a sound on a loss) from
// hearing of the change. Indexed, because a handler may subscribe another.
void PulseConnection::tellReady(pa_context* context, bool recovered) {
    for (std::size_t index = 0; index < subscribers_.size(); ++index) {
        try {
            if (subscribers_[index].onReady) {
                subscribers_[index].onReady(context, recovered);
            }
        } catch (...) {
        }
    }
}

void PulseConnection::tellLost(const std::string& reason) {
    for (std::size_t index = 0; index < subscribers_.size(); ++index) {
        try {
            if (subscribers_[index].onLost) {
                subscribers_[index].onLost(reason);
            }
        } catch (...) {
        }
    }
}

void PulseConnection::connect() {
    context_ = pa_context_new(api_, clientName_.c_str());
    if (context_ == nullptr) {
        armRetry();
        return;
    }
    pa_context_set_state_callback(context_, &PulseConnection::contextStateChanged, this);
    // No autospawn: a keyer must not start a sound server of its own.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        onFailure(pa_strerror(pa_context_errno(context_)));
    }
}

void PulseConnection::releaseContext() {
    ready_ = false;
    if (context_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

// Unwinding into libpulse's C code would end the program with the
// transmitter possibly keyed. What threw here is a reason that could not be
// built for want of memory: the connection still retries, and the streams on
// it fail by themselves, which ends their sounds.
void PulseConnection::contextStateChanged(pa_context* context, void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    try {
        self->onContextState(context);
    } catch (...) {
        if (pa_context_get_state(context) != PA_CONTEXT_READY) {
            self->ready_ = false;
            self->armRetry();
        }
        self->markFirstAttemptSettled();
    }
}

void PulseConnection::onContextState(pa_context* context) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        ready_ = true;
        const bool recovered = link_ == Link::Down;
        link_ = Link::Up;
        tellReady(context, recovered);
        markFirstAttemptSettled();
    } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        onFailure(pa_strerror(pa_context_errno(context)));
    }
}

// Called again for a failed connect that already reported itself: the loss is
// told once and the retry armed once.
void PulseConnection::onFailure(const std::string& reason) {
    ready_ = false;
    if (link_ != Link::Down) {
        link_ = Link::Down;
        tellLost(reason);
        // Only for a subscriber that comes later: short of memory, it hears no reason.
        try {
            lossReason_ = reason;
        } catch (...) {
            lossReason_.clear();
        }
    }
    // The context is freed by the retry, not here: libpulse may still be
    // inside a call on it.
    armRetry();
    markFirstAttemptSettled();
}

void PulseConnection::armRetry() {
    if (retryTimer_ != nullptr) {
        return;
    }
    timeval due{};
    pa_gettimeofday(&due);
    pa_timeval_add(&due, static_cast<pa_usec_t>(kRetryInterval.count()) * PA_USEC_PER_MSEC);
    retryTimer_ = api_->time_new(api_, &due, &PulseConnection::retryTimerFired, this);
}

void PulseConnection::retryTimerFired(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                      void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    api->time_free(event);
    self->retryTimer_ = nullptr;
    self->releaseContext();
    try {
        self->connect();
    } catch (...) {
        self->armRetry();
    }
}

void PulseConnection::markFirstAttemptSettled() {
    {
        std::lock_guard settled(settledMutex_);
        firstAttemptSettled_ = true;
    }
    settledChanged_.notify_all();
}

}  // namespace pelkora
