#include "platform/hamlib/ClosablePoster.h"

#include <gtest/gtest.h>

#include <thread>

#include "pulse/QueuePoster.h"

namespace pelkora {
namespace {

using namespace std::chrono_literals;

// Counts what reaches the loop's poster, to tell "not posted" from "posted
// and dropped".
class CountingPoster : public test::QueuePoster {
  public:
    void post(std::function<void()> task) override {
        ++posted;
        QueuePoster::post(std::move(task));
    }
    int posted = 0;
};

TEST(ClosablePosterTest, TasksPostedBeforeShutDownDoNotRunAfterIt) {
    CountingPoster loop;
    ClosablePoster poster(loop);
    int ran = 0;
    std::thread worker([&] { poster.post([&] { ++ran; }); });
    worker.join();
    poster.shutDown();
    loop.runFor(50ms);
    EXPECT_EQ(loop.posted, 1);
    EXPECT_EQ(ran, 0);
}

TEST(ClosablePosterTest, NothingReachesTheLoopAfterShutDown) {
    CountingPoster loop;
    auto poster = std::make_shared<ClosablePoster>(loop);
    int ran = 0;
    poster->post([&] { ++ran; });
    loop.runFor(20ms);
    EXPECT_EQ(ran, 1);
    poster->shutDown();
    // A worker left behind by its device still holds the poster and posts.
    std::thread worker([poster, &ran] { poster->post([&] { ++ran; }); });
    worker.join();
    EXPECT_EQ(loop.posted, 1);
}

}  // namespace
}  // namespace pelkora
