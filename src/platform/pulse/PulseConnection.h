#pragma once

#include <pulse/context.h>
#include <pulse/mainloop-api.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace pelkora {

// One long-lived connection to the sound server: a libpulse thread and a
// context that is made anew, a second later, whenever the server goes away or
// is not there yet. Everything of the station that talks to the server (the
// sound output, the mixer, the level meter, the microphone path) lives on this
// one connection as a subscriber, so that a lost server is one event, told
// once to each of them, and the server sees one client.
// Threading: constructed and destroyed on one thread (the loop thread). The
// handlers run on the libpulse thread with the main loop locked; any other
// thread holds a Lock while it calls into libpulse. An exception from a
// handler stops at that handler: the other subscribers still hear of the
// change, and nothing unwinds into libpulse.
class PulseConnection {
  public:
    // Called each time the context becomes ready; recovered is false for the
    // first connection and true after the server had been lost.
    using ReadyHandler = std::function<void(pa_context* context, bool recovered)>;
    // Called once when the server is lost or found missing, not for each retry.
    using LostHandler = std::function<void(const std::string& reason)>;
    using SubscriptionId = std::uint64_t;

    static constexpr std::chrono::milliseconds kRetryInterval{1000};

    // Starts connecting and waits at most firstWait for the first attempt to
    // succeed or fail.
    PulseConnection(const std::string& clientName, std::chrono::milliseconds firstWait);
    // Every subscriber must have left by now.
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the main loop lock; never take it on the libpulse thread itself.
    class Lock {
      public:
        explicit Lock(PulseConnection& connection) : mainloop_(connection.mainloop_) {
            pa_threaded_mainloop_lock(mainloop_);
        }
        ~Lock() { pa_threaded_mainloop_unlock(mainloop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* mainloop_;
    };

    // For timers on the libpulse thread. Needs the lock.
    pa_mainloop_api* api() const { return api_; }

    // The ready context, or nullptr while there is none. Needs the lock.
    pa_context* readyContext() const { return ready_ ? context_ : nullptr; }

    // Adds a subscriber and tells it at once where the connection stands: its
    // onReady (recovered false) when the context is ready, its onLost when the
    // server was found missing or lost and is not back yet. Takes the lock
    // itself; never call it on the libpulse thread.
    SubscriptionId subscribe(ReadyHandler onReady, LostHandler onLost);
    // After it returns no handler of that subscriber runs any more. Takes the
    // lock itself.
    void unsubscribe(SubscriptionId id);

  private:
    enum class Link { Unknown, Up, Down };

    static void contextStateChanged(pa_context* context, void* userdata);
    static void retryTimerFired(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                                void* userdata);
    void onContextState(pa_context* context);
    void onFailure(const std::string& reason);
    void connect();
    void releaseContext();
    void armRetry();
    void markFirstAttemptSettled();
    void tellReady(pa_context* context, bool recovered);
    void tellLost(const std::string& reason);

    struct Subscriber {
        SubscriptionId id = 0;
        ReadyHandler onReady;
        LostHandler onLost;
    };

    std::string clientName_;
    // Under the lock.
    std::vector<Subscriber> subscribers_;
    SubscriptionId lastId_ = 0;
    std::string lossReason_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_mainloop_api* api_ = nullptr;
    // Owned by the libpulse thread, or by whoever holds the lock.
    pa_context* context_ = nullptr;
    pa_time_event* retryTimer_ = nullptr;
    bool ready_ = false;
    Link link_ = Link::Unknown;

    std::mutex settledMutex_;
    std::condition_variable settledChanged_;
    bool firstAttemptSettled_ = false;
};

}  // namespace pelkora
