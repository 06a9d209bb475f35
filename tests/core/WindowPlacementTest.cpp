#include "core/settings/PlacementTracker.h"
#include "core/settings/WindowPlacement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake/MemoryProfileStore.h"

namespace pelkora {
namespace {

using Placement = WindowPlacement;
using ShowState = WindowPlacement::ShowState;

const std::string kFile = "/opt/pelkora/pelkora.ini";
const std::string kSection = "TPelkoranForm";

// A window 640 x 480 at (50, 40) on a 96 dpi screen, as the toolkit reports it.
Placement::CurrentWindow currentWindow() {
    Placement::CurrentWindow now;
    now.placement.flags = 0;
    now.placement.normal = {50, 40, 690, 520};
    now.placement.pixelsPerInch = 96;
    return now;
}

class WindowPlacementTest : public ::testing::Test {
  protected:
    void store(const std::vector<std::pair<std::string, std::string>>& keys) {
        for (const auto& [key, value] : keys) {
            profiles.writeString(kFile, kSection, key, value);
        }
    }
    Placement::RestoreDecision restore(const Placement::CurrentWindow& now = currentWindow()) {
        return Placement::restore(profiles, kFile, kSection, now);
    }

    MemoryProfileStore profiles;
};

TEST_F(WindowPlacementTest, SaveWritesEveryKeyInOrder) {
    Placement::Record record;
    record.flags = 2;
    record.showCmd = 3;
    record.minPos = {-32000, -32000};
    record.maxPos = {-8, -8};
    record.normal = {454, 206, 1006, 555};
    record.pixelsPerInch = 120;
    for (const bool destroying : {false, true}) {
        MemoryProfileStore written;
        Placement::save(written, kFile, "TVolForm", record, destroying);
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"FormVersion", "0"},
            {"Flags", "2"},
            {"ShowCmd", "3"},
            {"PixelsPerInch", "120"},
            {"MinMaxPos", "-32000,-32000,-8,-8"},
            {"NormPos", "454,206,1006,555"},
            {"Visible", destroying ? "1" : "0"},
        };
        ASSERT_EQ(written.writes().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(written.writes()[i].file, kFile);
            EXPECT_EQ(written.writes()[i].section, "TVolForm");
            EXPECT_EQ(written.writes()[i].key, expected[i].first);
            EXPECT_EQ(written.writes()[i].value, expected[i].second) << expected[i].first;
        }
    }
}

TEST_F(WindowPlacementTest, RefusedWriteStopsTheSave) {
    profiles.refuseWrites(kFile);
    EXPECT_THROW(Placement::save(profiles, kFile, kSection, {}, false), ProfileWriteError);
    EXPECT_TRUE(profiles.writes().empty());
}

TEST_F(WindowPlacementTest, SavedPlacementRestoresAsSaved) {
    Placement::Record saved;
    saved.flags = 1;
    saved.showCmd = Placement::kShowMaximised;
    saved.minPos = {-32000, -32000};
    saved.maxPos = {-4, -4};
    saved.normal = {-100, 30, 700, 630};
    saved.pixelsPerInch = 96;
    Placement::save(profiles, kFile, kSection, saved, true);

    const auto decision = restore();
    EXPECT_TRUE(decision.applyGeometry);
    EXPECT_EQ(decision.placement, saved);
    EXPECT_EQ(decision.showState, ShowState::Maximised);
}

TEST_F(WindowPlacementTest, ReadsASectionTheWindowsProgramWrote) {
    store({{"FormVersion", "0"},
           {"Flags", "0"},
           {"ShowCmd", "1"},
           {"PixelsPerInch", "96"},
           {"MinMaxPos", "-1,-1,-1,-1"},
           {"NormPos", "454,206,1006,555"},
           {"Visible", "0"}});
    auto now = currentWindow();
    now.centredOnScreen = true;
    const auto decision = restore(now);
    EXPECT_TRUE(decision.applyGeometry);
    EXPECT_TRUE(decision.dropCentring);
    EXPECT_EQ(decision.placement.normal, (Placement::Rect{454, 206, 1006, 555}));
    EXPECT_EQ(decision.placement.minPos, (Placement::Point{-1, -1}));
    EXPECT_EQ(decision.showState, ShowState::Normal);
}

TEST_F(WindowPlacementTest, OtherResolutionKeepsGeometryButAppliesShowState) {
    store({{"PixelsPerInch", "120"}, {"NormPos", "454,206,1006,555"}, {"ShowCmd", "2"}});
    auto now = currentWindow();
    now.centredOnScreen = true;
    const auto decision = restore(now);
    EXPECT_FALSE(decision.applyGeometry);
    EXPECT_FALSE(decision.dropCentring);  // the window is centred as at first start
    EXPECT_EQ(decision.showState, ShowState::Minimised);
}

TEST_F(WindowPlacementTest, NegativeFormVersionRestoresNothing) {
    store({{"FormVersion", "-1"}, {"NormPos", "454,206,1006,555"}, {"ShowCmd", "3"}});
    const auto decision = restore();
    EXPECT_FALSE(decision.applyGeometry);
    EXPECT_FALSE(decision.showState.has_value());
}

TEST_F(WindowPlacementTest, OtherFormVersionsStillRestore) {
    for (const std::string version : {"0", "1", "abc", ""}) {
        MemoryProfileStore own;
        own.writeString(kFile, kSection, "FormVersion", version);
        own.writeString(kFile, kSection, "NormPos", "1,2,3,4");
        const auto decision = Placement::restore(own, kFile, kSection, currentWindow());
        EXPECT_TRUE(decision.applyGeometry) << '"' << version << '"';
        EXPECT_EQ(decision.showState, ShowState::Normal) << '"' << version << '"';
    }
}

struct NormPosCase {
    std::optional<std::string> normPos;  // nullopt: key missing
    bool applied;
    Placement::Rect rect;  // compared when applied; current is {50, 40, 690, 520}
};

TEST_F(WindowPlacementTest, NormPosElementsFallBackOneByOne) {
    const std::vector<NormPosCase> cases = {
        {"10,20,300,400", true, {10, 20, 300, 400}},
        {"10,20", true, {10, 20, 690, 520}},
        {"10,20,300", true, {10, 20, 300, 520}},
        {"10,,300,400", true, {10, 40, 300, 400}},
        {"10,x,300,400", true, {10, 40, 300, 400}},
        {" 10 , 20 ,\t300, 400", true, {10, 20, 300, 400}},
        {"0x10,$20,300,400", true, {16, 32, 300, 400}},
        {"10,20,300,400,999", true, {10, 20, 300, 400}},
        {"garbage", true, {50, 40, 690, 520}},
        {",,,", true, {50, 40, 690, 520}},
        {"2000", false, {}},  // left 2000 is not left of the current right 690
        {"", false, {}},
        {std::nullopt, false, {}},
        {"99999999999,1,900,3", true, {50, 1, 900, 3}},
    };
    for (const NormPosCase& c : cases) {
        MemoryProfileStore own;
        if (c.normPos) {
            own.writeString(kFile, kSection, "NormPos", *c.normPos);
        }
        const auto decision = Placement::restore(own, kFile, kSection, currentWindow());
        const std::string shown = c.normPos.value_or("(missing)");
        EXPECT_EQ(decision.applyGeometry, c.applied) << shown;
        if (c.applied) {
            EXPECT_EQ(decision.placement.normal, c.rect) << shown;
        }
    }
}

TEST_F(WindowPlacementTest, MinMaxPosAloneCountsAsPresent) {
    store({{"MinMaxPos", "-32000,-32000,x"}});
    const auto decision = restore();
    EXPECT_TRUE(decision.applyGeometry);
    EXPECT_EQ(decision.placement.normal, currentWindow().placement.normal);
    EXPECT_EQ(decision.placement.minPos, (Placement::Point{-32000, -32000}));
    EXPECT_EQ(decision.placement.maxPos, (Placement::Point{-1, -1}));
}

TEST_F(WindowPlacementTest, GarbageValuesTakeTheirDefaults) {
    store({{"FormVersion", "zero"},
           {"Flags", "x"},
           {"ShowCmd", "max"},
           {"PixelsPerInch", "high"},
           {"NormPos", "1,2,300,400"}});
    auto now = currentWindow();
    now.placement.flags = 5;
    const auto decision = restore(now);
    EXPECT_TRUE(decision.applyGeometry);  // unreadable resolution: the current one
    EXPECT_EQ(decision.placement.flags, 5);
    EXPECT_EQ(decision.showState, ShowState::Normal);
}

TEST(WindowPlacementShowCmd, MapsToTheShowState) {
    const std::vector<std::pair<std::optional<std::string>, ShowState>> cases = {
        {std::nullopt, ShowState::Normal}, {"0", ShowState::Normal},    {"1", ShowState::Normal},
        {"5", ShowState::Normal},          {"9", ShowState::Normal},    {"2", ShowState::Minimised},
        {"6", ShowState::Minimised},       {"7", ShowState::Minimised}, {"3", ShowState::Maximised},
        {"0x3", ShowState::Maximised},     {"4", ShowState::Normal},    {"8", ShowState::Normal},
        {"10", ShowState::Normal},         {"-1", ShowState::Normal},   {"max", ShowState::Normal},
    };
    for (const auto& [showCmd, expected] : cases) {
        MemoryProfileStore own;
        if (showCmd) {
            own.writeString(kFile, kSection, "ShowCmd", *showCmd);
        }
        const auto decision = Placement::restore(own, kFile, kSection, currentWindow());
        EXPECT_EQ(decision.showState, expected) << showCmd.value_or("(missing)");
        EXPECT_FALSE(decision.applyGeometry);
    }
    for (const ShowState state : {ShowState::Normal, ShowState::Minimised, ShowState::Maximised}) {
        EXPECT_EQ(Placement::showStateOf(Placement::showCmdOf(state)), state);
    }
}

TEST_F(WindowPlacementTest, FixedSizeWindowTakesOnlyThePosition) {
    auto now = currentWindow();
    now.fixedSize = true;
    const std::vector<std::pair<std::string, Placement::Rect>> cases = {
        {"100,200,900,900", {100, 200, 740, 680}},
        // The size comes from the window, so a collapsed stored rect still places it.
        {"500,0,400,0", {500, 0, 1140, 480}},
    };
    for (const auto& [normPos, expected] : cases) {
        MemoryProfileStore own;
        own.writeString(kFile, kSection, "NormPos", normPos);
        const auto decision = Placement::restore(own, kFile, kSection, now);
        EXPECT_TRUE(decision.applyGeometry) << normPos;
        EXPECT_EQ(decision.placement.normal, expected) << normPos;
    }
}

TEST_F(WindowPlacementTest, EmptyOrOverflowingRectIsNotApplied) {
    struct Case {
        std::string normPos;
        bool appliedResizable, appliedFixed;  // a fixed window keeps its 640 x 480
    };
    const std::vector<Case> cases = {
        {"500,0,500,10", false, true},
        {"600,0,500,10", false, true},
        {"499,0,500,10", true, true},
        {"2147483647,0,2147483647,10", false, false},
        {"2147483600,0,2147483647,10", true, false},  // left + 640 is past 32 bits
        {"0,2147483600,10,20", true, false},
    };
    for (const Case& c : cases) {
        for (const bool fixedSize : {false, true}) {
            MemoryProfileStore own;
            own.writeString(kFile, kSection, "NormPos", c.normPos);
            auto now = currentWindow();
            now.fixedSize = fixedSize;
            now.centredOnScreen = true;
            const auto decision = Placement::restore(own, kFile, kSection, now);
            const bool expected = fixedSize ? c.appliedFixed : c.appliedResizable;
            EXPECT_EQ(decision.applyGeometry, expected) << c.normPos << " fixed " << fixedSize;
            EXPECT_EQ(decision.dropCentring, expected) << c.normPos << " fixed " << fixedSize;
        }
    }
}

TEST(PlacementTracker, SavesAtDestructionOnlyWhenNotSavedSinceShown) {
    struct Step {
        const char* event;
        bool onClose, onDestroy;
    };
    const std::vector<Step> steps = {
        {"start", false, false}, {"saved", false, false},  {"restored", true, true},
        {"saved", true, false},  {"restored", true, true}, {"restored", true, true},
        {"saved", true, false},  {"saved", true, false},
    };
    PlacementTracker tracker;
    for (const Step& step : steps) {
        const std::string event = step.event;
        if (event == "restored") {
            tracker.onRestored();
        } else if (event == "saved") {
            tracker.onSaved();
        }
        EXPECT_EQ(tracker.shouldSaveOnClose(), step.onClose) << event;
        EXPECT_EQ(tracker.shouldSaveOnDestroy(), step.onDestroy) << event;
    }
}

}  // namespace
}  // namespace pelkora
