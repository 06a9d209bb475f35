#include "platform/hamlib/RigWorkerThread.h"

#include <utility>

namespace pelkora {

RigWorkerThread::RigWorkerThread() : queue_(std::make_shared<Queue>()) {}

RigWorkerThread::~RigWorkerThread() {
    if (!finished_) {
        finish({}, std::chrono::milliseconds(0));
    }
}

void RigWorkerThread::submit(Job job) {
    if (finished_) {
        return;
    }
    {
        std::lock_guard lock(queue_->mutex);
        queue_->jobs.push_back(std::move(job));
    }
    if (!thread_.joinable()) {
        thread_ = std::thread(run, queue_);
    }
    queue_->wake.notify_one();
}

bool RigWorkerThread::finish(Job last, std::chrono::milliseconds limit) {
    finished_ = true;
    std::deque<Job> dropped;
    {
        std::lock_guard lock(queue_->mutex);
        dropped.swap(queue_->jobs);
        if (last) {
            queue_->jobs.push_back(std::move(last));
        }
        queue_->stopping = true;
    }
    // Destroyed here, on the caller's thread, as their owners expect.
    dropped.clear();
    if (!thread_.joinable()) {
        // Nothing ever ran, so nothing is open: the last job has no rig to
        // wait for and runs here.
        std::deque<Job> jobs;
        {
            std::lock_guard lock(queue_->mutex);
            jobs.swap(queue_->jobs);
        }
        for (Job& job : jobs) {
            job();
        }
        return true;
    }
    queue_->wake.notify_one();
    std::unique_lock lock(queue_->mutex);
    const bool ended = queue_->ended.wait_for(lock, limit, [this] { return queue_->done; });
    lock.unlock();
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();
    }
    return ended;
}

void RigWorkerThread::run(const std::shared_ptr<Queue>& queue) {
    std::unique_lock lock(queue->mutex);
    for (;;) {
        queue->wake.wait(lock, [&] { return !queue->jobs.empty() || queue->stopping; });
        if (queue->jobs.empty()) {
            break;
        }
        Job job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        lock.unlock();
        // A job that throws (a completion that could not be posted for want
        // of memory) must not end the program or stop the jobs behind it:
        // a release may be among them.
        try {
            job();
        } catch (...) {
        }
        job = nullptr;
        lock.lock();
    }
    queue->done = true;
    queue->ended.notify_all();
}

}  // namespace pelkora
