#include "platform/hamlib/RigWorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace pelkora {
namespace {

using namespace std::chrono_literals;

bool waitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 500 && !flag; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return flag;
}

TEST(RigWorkerThreadTest, AStuckJobIsLeftBehindAndTheLastJobStillRunsAfterIt) {
    std::promise<void> stuck;
    auto ran = std::make_shared<std::atomic<bool>>(false);
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    auto last = std::make_shared<std::atomic<bool>>(false);
    {
        RigWorkerThread worker;
        worker.submit([future = stuck.get_future().share(), ran] {
            *ran = true;
            future.wait();
        });
        worker.submit([dropped] { *dropped = true; });
        ASSERT_TRUE(waitFor(*ran));
        EXPECT_FALSE(worker.finish([last] { *last = true; }, 100ms));
    }
    stuck.set_value();
    EXPECT_TRUE(waitFor(*last));
    EXPECT_FALSE(*dropped);
}

}  // namespace
}  // namespace pelkora
