#include "XKeySender.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace pelkora::bench {
namespace {

using WindowId = XKeySender::WindowId;

// A made-up window tree: child -> parent; a window not listed is a top level.
XKeySender::ParentOf treeOf(std::map<WindowId, WindowId> parents) {
    return [parents](WindowId child) {
        const auto found = parents.find(child);
        return found == parents.end() ? WindowId{0} : found->second;
    };
}

TEST(XKeySender, TheWindowHasTheFocusWhenTheFocusIsItOrInsideIt) {
    // 10 is the program's window, 11 a child of it, 12 a grandchild; 20 another program's.
    const auto tree = treeOf({{11, 10}, {12, 11}, {21, 20}, {30, 30}});
    struct Case {
        const char* what;
        WindowId focus;
        bool within;
    };
    const std::vector<Case> cases = {
        {"the window itself", 10, true},
        {"a child", 11, true},
        {"a grandchild", 12, true},
        {"another top level", 20, false},
        {"a child of another top level", 21, false},
        {"no focus (None)", 0, false},
        {"a window that names itself its parent", 30, false},
    };
    for (const Case& each : cases) {
        EXPECT_EQ(XKeySender::within(each.focus, 10, tree), each.within) << each.what;
    }
}

}  // namespace
}  // namespace pelkora::bench
