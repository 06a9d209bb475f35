#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace pelkora {

// Runs jobs one after another, in the order they were submitted, on a thread
// of its own, so that a rig that answers late holds up nobody but its own
// queue. The thread starts with the first job.
// Threading: submit() and finish() from one thread (the loop thread); the
// jobs run on the worker.
class RigWorkerThread {
  public:
    using Job = std::function<void()>;

    RigWorkerThread();
    // finish() with no last job, if it has not run yet.
    ~RigWorkerThread();
    RigWorkerThread(const RigWorkerThread&) = delete;
    RigWorkerThread& operator=(const RigWorkerThread&) = delete;

    void submit(Job job);

    // Drops the jobs that have not started, lets the running one end, runs
    // `last` and ends the thread. Waits up to `limit` for that; a thread
    // still held by a rig after it is left to end on its own, with
    // everything its jobs hold. Returns whether the thread has ended.
    bool finish(Job last, std::chrono::milliseconds limit);

  private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable ended;
        std::deque<Job> jobs;
        bool stopping = false;
        bool done = false;
    };
    static void run(const std::shared_ptr<Queue>& queue);

    std::shared_ptr<Queue> queue_;
    std::thread thread_;
    bool finished_ = false;
};

}  // namespace pelkora
