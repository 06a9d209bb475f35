#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "RemoteFixture.h"
#include "core/remote/HookKeyHandler.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;
using Keys = std::vector<std::uint16_t>;

constexpr std::uint16_t F(int n) {
    return static_cast<std::uint16_t>(0x70 + n - 1);
}

class HookKeyHandlerTest : public RemoteFixture {
  protected:
    HookKeyHandler hook{engine, host};
};

struct SequenceCase {
    const char* name;
    Keys reports;
    Lines queued;
    int counter;
};

TEST_F(HookKeyHandlerTest, OnlyEverySecondReportActs) {
    const std::vector<SequenceCase> cases = {
        {"nothing yet", {}, {}, 0},
        {"a press alone", {F(5)}, {}, 1},
        {"press and release", {F(5), F(5)}, {"snd/m5.wav"}, 2},
        {"the second report's key counts", {F(1), F(2)}, {"snd/m2.wav"}, 2},
        {"a third report waits", {F(1), F(1), F(1)}, {"snd/m1.wav"}, 1},
        {"two strokes", {F(12), F(12), F(12), F(12)}, {"snd/m12.wav", "snd/m12.wav"}, 2},
        {"three strokes",
         {F(1), F(1), F(2), F(2), F(3), F(3)},
         {"snd/m1.wav", "snd/m2.wav", "snd/m3.wav"},
         2},
        {"keys beside F1..F12", {0x6F, 0x6F, 0x7C, 0x7C, 0x41, 0x41}, {}, 2},
        {"a first report never acts, whatever its key", {F(7), 0}, {}, 2},
        {"highest key code", {0xFFFF, F(4)}, {"snd/m4.wav"}, 2},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        HookKeyHandler fresh{engine, host};
        engine.emptyQueue();
        for (const std::uint16_t key : c.reports) {
            fresh.HookKey(key);
        }
        EXPECT_EQ(queue(), c.queued);
        EXPECT_EQ(fresh.counter(), c.counter);
    }
}

TEST_F(HookKeyHandlerTest, OtherKeyOnAnActingReportStillRunsTheQueue) {
    addFile("a.wav", 100);
    engine.AddToQueue("~[tx]~[fa.wav]");
    ASSERT_FALSE(engine.runnerActive());
    hook.HookKey(0x41);
    hook.HookKey(0x41);
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav"}));
    EXPECT_EQ(host.askedKeys, std::vector<int>{});
}

TEST_F(HookKeyHandlerTest, MacroWithTransmitPlaysAndReleases) {
    addFile("cq.wav", 100);
    host.macros[1] = "~[tx]~[fcq.wav]~[rx]";
    hook.HookKey(F(2));
    hook.HookKey(F(2));
    run();
    EXPECT_EQ(played(), (Lines{"0 play cq.wav"}));
    EXPECT_EQ(lines.calls(), (Lines{"RTS 1", "RTS 0"}));
}

TEST_F(HookKeyHandlerTest, AFailingMacroKeepsOneActionPerStroke) {
    addFile("m2.wav", 100);
    host.macros[0] = "~[tx]~[pxx]";
    recorder.afterError = [] { throw std::runtime_error("error box"); };
    hook.HookKey(F(1));
    EXPECT_THROW(hook.HookKey(F(1)), std::runtime_error);
    recorder.afterError = nullptr;
    EXPECT_EQ(hook.counter(), 2);

    hook.HookKey(F(2));  // the next press: ignored
    EXPECT_TRUE(queue().empty());
    hook.HookKey(F(2));  // its release acts
    run();
    EXPECT_EQ(played(), (Lines{"0 play m2.wav"}));
}

}  // namespace
}  // namespace pelkora::test
