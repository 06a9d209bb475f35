#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/recording/RecordingList.h"

namespace pelkora {
namespace {

std::array<std::string, 12> noMacros() {
    return {};
}

RecordingList::Find findIn(const std::vector<std::string>& names) {
    return [names](const std::string& name) { return RecordingList::findCaseBlind(name, names); };
}

struct FirstFileRow {
    const char* macro;
    const char* first;  // nullptr: no file
};

TEST(RecordingListTest, FirstSoundFileOfAMacro) {
    const FirstFileRow rows[] = {
        {"~[fcq.wav]", "cq.wav"},
        {"~[tx]~[fcq.wav]~[ec]~[rx]", "cq.wav"},
        {"~[TX]~[FCQ.WAV]", "CQ.WAV"},
        {"~[p20]~[f  tail.wav  ]~[fsecond.wav]", "tail.wav"},
        {"~[fsub/dir.wav]", "sub/dir.wav"},
        {"~[iCall]", nullptr},
        {"~[ec]~[er]", nullptr},
        {"~[tx]~[p100]~[rx]~[rp5]", nullptr},
        {"~[f]", nullptr},
        {"", nullptr},
        {"plain words", nullptr},
    };
    for (const FirstFileRow& row : rows) {
        const auto first = RecordingList::firstSoundFile(row.macro);
        if (row.first == nullptr) {
            EXPECT_FALSE(first.has_value()) << row.macro << " gave " << first.value_or("");
        } else {
            EXPECT_EQ(first.value_or("<none>"), row.first) << row.macro;
        }
    }
}

struct CaseRow {
    std::vector<std::string> names;
    const char* asked;
    const char* found;  // nullptr: none
};

TEST(RecordingListTest, FindsNamesAsThePlayerDoes) {
    const CaseRow rows[] = {
        {{"cq.wav"}, "cq.wav", "cq.wav"},           {{"CQ.WAV"}, "cq.wav", "CQ.WAV"},
        {{"cQ.WAV", "Cq.wav"}, "cq.wav", "Cq.wav"}, {{"CQ.WAV", "cq.wav"}, "cq.wav", "cq.wav"},
        {{"cq.wav.bak"}, "cq.wav", nullptr},        {{}, "cq.wav", nullptr},
    };
    for (const CaseRow& row : rows) {
        const auto found = RecordingList::findCaseBlind(row.asked, row.names);
        EXPECT_EQ(found.value_or("<none>"), row.found ? row.found : "<none>") << row.asked;
    }
}

TEST(RecordingListTest, MacroFilesComeFirstByKeyThenCharactersThenOthers) {
    auto macros = noMacros();
    macros[0] = "~[iCall]";
    macros[1] = "~[tx]~[fcq.wav]~[ec]~[rx]";
    macros[2] = "~[fqrz.wav]~[fcq.wav]";
    macros[4] = "~[fcq.wav]~[fA.wav]";
    const std::vector<std::string> dir{"zz.wav",       "CQ.WAV", "A.wav",  "notes.txt",
                                       ".cq.wav.undo", "b.WAV",  "m.wav",  ".take.wav",
                                       "stroke.wav",   "Z.wav",  "aa.wav", "7.wav"};
    const std::vector<RecordingItem> items = RecordingList::build(macros, dir, findIn(dir));

    ASSERT_EQ(items.size(), 3u + 36u + 2u);
    EXPECT_EQ(items[0].name, "cq.wav");
    EXPECT_EQ(items[0].foundAs, "CQ.WAV");
    EXPECT_EQ(items[0].keys, (std::vector<int>{2, 3, 5}));
    EXPECT_EQ(items[0].recordName(), "CQ.WAV");
    EXPECT_EQ(items[1].name, "qrz.wav");
    EXPECT_FALSE(items[1].present());
    EXPECT_EQ(items[1].recordName(), "qrz.wav");
    EXPECT_EQ(items[1].kind, RecordingItem::Kind::Message);
    // A.wav is named by F5: listed once, among the messages, not again for spelling.
    EXPECT_EQ(items[2].name, "A.wav");
    EXPECT_EQ(items[2].keys, (std::vector<int>{5}));
    EXPECT_EQ(items[2].kind, RecordingItem::Kind::Message);

    EXPECT_EQ(items[3].name, "B.wav");
    EXPECT_EQ(items[3].foundAs, "b.WAV");
    EXPECT_EQ(items[3].kind, RecordingItem::Kind::Character);
    EXPECT_EQ(items[28].name, "0.wav");
    EXPECT_FALSE(items[28].present());
    EXPECT_EQ(items[35].name, "7.wav");
    EXPECT_TRUE(items[35].present());
    // m.wav is what spelling plays for M: the letter's file, not an extra.
    EXPECT_EQ(items[14].name, "M.wav");
    EXPECT_EQ(items[14].foundAs, "m.wav");
    EXPECT_EQ(items[38].name, "stroke.wav");
    EXPECT_TRUE(items[38].present());

    std::vector<std::string> others;
    for (std::size_t i = 39; i < items.size(); ++i) {
        EXPECT_EQ(items[i].kind, RecordingItem::Kind::Other);
        EXPECT_EQ(items[i].name, items[i].foundAs);
        others.push_back(items[i].name);
    }
    // Not the undo copy, a hidden take, a text file, nor a file listed under another case.
    EXPECT_EQ(others, (std::vector<std::string>{"aa.wav", "zz.wav"}));
}

TEST(RecordingListTest, EmptyDirectoryListsEverythingMissing) {
    auto macros = noMacros();
    macros[1] = "~[f2.wav]";
    const std::vector<RecordingItem> items = RecordingList::build(macros, {}, findIn({}));
    // 2.wav is a character file too: listed once, for F2.
    ASSERT_EQ(items.size(), 1u + 36u);
    for (const RecordingItem& item : items) {
        EXPECT_FALSE(item.present()) << item.name;
    }
    EXPECT_EQ(items[0].name, "2.wav");
    EXPECT_EQ(items[0].keys, (std::vector<int>{2}));
    EXPECT_EQ(items[1].name, "A.wav");
}

}  // namespace
}  // namespace pelkora
