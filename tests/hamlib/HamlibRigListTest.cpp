#include "platform/hamlib/HamlibRigList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace pelkora {
namespace {

std::string labelOf(const std::vector<RigModelChoice>& models, int model) {
    const auto found = std::find_if(models.begin(), models.end(),
                                    [model](const RigModelChoice& c) { return c.model == model; });
    return found == models.end() ? std::string() : found->label;
}

TEST(HamlibRigListTest, NamesCatRadiosByMakerAndModelAndLeavesOutPseudoRigs) {
    const auto models = hamlibRigModels();
    ASSERT_GT(models.size(), 100u);
    EXPECT_EQ(labelOf(models, 1035), "Yaesu FT-991");
    EXPECT_EQ(labelOf(models, 3073), "Icom IC-7300");
    EXPECT_EQ(labelOf(models, 2014), "Kenwood TS-2000");
    for (const int pseudo : {1, 2, 4, 6}) {  // dummy, rigctld, flrig, dummy without VFO
        EXPECT_EQ(labelOf(models, pseudo), "") << pseudo;
    }
    std::set<int> numbers;
    for (const auto& choice : models) {
        EXPECT_FALSE(choice.label.empty()) << choice.model;
        EXPECT_TRUE(numbers.insert(choice.model).second) << "twice: " << choice.model;
    }
}

TEST(HamlibRigListTest, IsSortedByMakerThenName) {
    const auto models = hamlibRigModels();
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    // Maker names are one word in Hamlib's table, so the label's order is
    // maker first, then model.
    EXPECT_TRUE(std::is_sorted(models.begin(), models.end(),
                               [&](const RigModelChoice& a, const RigModelChoice& b) {
                                   return lower(a.label) < lower(b.label);
                               }));
    const auto icom = std::find_if(models.begin(), models.end(),
                                   [](const auto& c) { return c.label.starts_with("Icom "); });
    const auto yaesu = std::find_if(models.begin(), models.end(),
                                    [](const auto& c) { return c.label.starts_with("Yaesu "); });
    EXPECT_LT(icom, yaesu);
}

}  // namespace
}  // namespace pelkora
