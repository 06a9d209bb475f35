#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/remote/ObjectCount.h"

namespace pelkora {
namespace {

struct CountCase {
    const char* name;
    bool endsWithLastObject;
    std::string steps;  // 'c' created, 'r' released
    // The steps (0-based) whose release asks the program to end.
    std::vector<int> endsAt;
    std::int64_t countAfter;
};

TEST(ObjectCountTest, LastReleaseEndsOnlyAProgramStartedForAClient) {
    const std::vector<CountCase> cases = {
        {"one client, automation", true, "cr", {1}, 0},
        {"one client, standalone", false, "cr", {}, 0},
        {"two objects, automation", true, "ccrr", {3}, 0},
        {"standalone keeps running", false, "ccrrcr", {}, 0},
        {"a client in time for the end", true, "crcr", {1, 3}, 0},
        {"nothing created", true, "", {}, 0},
        {"released more than created", true, "rrcr", {3}, 0},
        {"still held", true, "ccr", {}, 1},
        {"released twice after the end", true, "crr", {1}, 0},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectCount count(c.endsWithLastObject);
        std::vector<int> ended;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            if (c.steps[i] == 'c') {
                count.created();
            } else if (count.released()) {
                ended.push_back(static_cast<int>(i));
            }
        }
        EXPECT_EQ(ended, c.endsAt);
        EXPECT_EQ(count.count(), c.countAfter);
        EXPECT_EQ(count.closeNeedsWarning(), c.countAfter > 0);
    }
}

}  // namespace
}  // namespace pelkora
