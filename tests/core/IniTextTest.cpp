#include "core/settings/IniText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pelkora {
namespace {

struct FindCase {
    const char* name;
    std::string content;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

TEST(IniTextFind, FollowsTheFileRules) {
    const std::vector<FindCase> cases = {
        {"names match without case", "[Keyer]\nDelay=5\n", "KEYER", "delay", "5"},
        {"CR LF file from Windows", "[A]\r\nk=v\r\n", "A", "k", "v"},
        {"last line without newline", "[A]\nk=v", "A", "k", "v"},
        {"empty value is not missing", "[A]\nk=\n", "A", "k", ""},
        {"missing key", "[A]\nj=1\n", "A", "k", std::nullopt},
        {"missing section", "[B]\nk=1\n", "A", "k", std::nullopt},
        {"empty file", "", "A", "k", std::nullopt},
        {"key before any section", "k=1\n[A]\n", "A", "k", std::nullopt},
        {"key of the next section", "[A]\n[B]\nk=1\n", "A", "k", std::nullopt},
        {"first of duplicate keys", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        {"first of duplicate sections", "[A]\nk=1\n[a]\nk=3\n", "a", "k", "1"},
        {"later duplicate section unread", "[A]\nx=1\n[a]\nk=3\n", "A", "k", std::nullopt},
        {"comment line", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
        {"indented comment line", "[A]\n  ; k=1\nk=2\n", "A", "k", "2"},
        {"'=' inside the value", "[A]\nk=a=b\n", "A", "k", "a=b"},
        {"blanks around name and value", "[A]\n \tk \t=  v w \t\n", "A", "k", "v w"},
        {"blanks around the section", "  [ A ]  \nk=1\n", "A", "k", "1"},
        {"8-bit value byte for byte", "[A]\nk=\xE4\xF6\xFF\n", "A", "k", "\xE4\xF6\xFF"},
        {"line without '=' ignored", "[A]\nk\nk=2\n", "A", "k", "2"},
        {"byte-order mark skipped", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "1"},
        {"unclosed bracket is no section", "[A]\n[B\nk=1\n", "A", "k", "1"},
        {"mixed line endings", "[A]\r\nj=0\nk=1\r\n", "A", "k", "1"},
        {"CR ending an unterminated last line", "[A]\r\nk=v\r", "A", "k", "v"},
        {"empty value before a final CR", "[A]\nk=\r", "A", "k", ""},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(IniText::find(c.content, c.section, c.key), c.expected) << c.name;
    }
}

TEST(IniTextFind, ReadsEveryLineEnding) {
    const std::vector<FindCase> cases = {
        {"CR only", "[A]\rj=0\rk=1\r[B]\rk=2\r", "A", "k", "1"},
        {"CR only, next section", "[A]\rj=0\rk=1\r[B]\rk=2\r", "B", "k", "2"},
        {"CR only, no final CR", "[A]\rk=1", "A", "k", "1"},
        {"CR only, empty value", "[A]\rk=\rj=1\r", "A", "k", ""},
        {"lone CR inside what was a value", "[A]\nk=a\rb=2\n", "A", "k", "a"},
        {"... starts a line of its own", "[A]\nk=a\rb=2\n", "A", "b", "2"},
        {"mixed, key after a CR", "[A]\r\nj=0\rk=1\n", "A", "k", "1"},
        {"mixed, section after a CR", "[B]\nx=1\r[A]\r\nk=1", "A", "k", "1"},
        {"mixed, LF CR is a blank line", "[A]\n\rk=1\n", "A", "k", "1"},
        {"CR CR LF", "[A]\r\r\nk=1\r\r\n", "A", "k", "1"},
        {"CR at the end after CR LF lines", "[A]\r\nk=v\r", "A", "k", "v"},
        {"byte-order mark then CR only", "\xEF\xBB\xBF[A]\rk=1\r", "A", "k", "1"},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(IniText::find(c.content, c.section, c.key), c.expected) << c.name;
    }
}

TEST(IniTextFind, DropsOnePairOfMatchingQuotes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\"  padded  \"", "  padded  "},
        {"\"\"", ""},
        {"''", ""},
        {"'x'", "x"},
        {"  \"x\"  ", "x"},  // blanks go first
        {"\"'x'\"", "'x'"},  // one pair only
        {"\"\"x\"\"", "\"x\""},
        {"\"a\"b\"", "a\"b"},
        {"\"x", "\"x"},
        {"x\"", "x\""},
        {"\"x'", "\"x'"},
        {"'x\"", "'x\""},
        {"a\"b\"c", "a\"b\"c"},
        {"\"", "\""},
        {"'", "'"},
        {"\"x\" y", "\"x\" y"},
    };
    for (const auto& [stored, expected] : cases) {
        EXPECT_EQ(IniText::find("[A]\nk=" + stored + "\n", "A", "k"), expected) << stored;
        EXPECT_EQ(IniText::find("[A]\r\nk=" + stored, "A", "k"), expected) << stored;
    }
    const std::string quotedLong = "\"" + std::string(3000, 'q') + "\"";
    EXPECT_EQ(IniText::find("[A]\nk=" + quotedLong, "A", "k"),
              std::string(IniText::kMaxValueLength, 'q'));
}

TEST(IniTextFind, CutsLongValues) {
    const std::string longValue(3000, 'x');
    const auto found = IniText::find("[A]\nk=" + longValue + "\n", "A", "k");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, std::string(IniText::kMaxValueLength, 'x'));

    const std::string fits(IniText::kMaxValueLength, 'y');
    EXPECT_EQ(IniText::find("[A]\nk=" + fits, "A", "k"), fits);
}

TEST(IniTextFind, OverlongLinesAreReadAsTheirStart) {
    const std::size_t limit = IniLineReader::kMaxLineLength;
    const std::string huge(limit + 100, 'x');
    const std::vector<FindCase> cases = {
        {"long value cut", "[A]\nk=" + huge + "\n", "A", "k",
         std::string(IniText::kMaxValueLength, 'x')},
        {"long junk line hides nothing", "[A]\n" + huge + "\nk=1\n", "A", "k", "1"},
        {"']' past the limit opens no section", "[A]\n[" + huge + "]\nk=1\n", "A", "k", "1"},
        {"'=' past the limit makes no key", "[A]\n" + huge + "=2\nk=1\n", "A", "k", "1"},
        {"header within the limit still counts", "[A]\n[B]" + huge + "\nk=1\n", "A", "k",
         std::nullopt},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(IniText::find(c.content, c.section, c.key), c.expected) << c.name;
    }
}

TEST(IniTextWithValue, ReplacesAnOverlongLineWhole) {
    const std::string huge(IniLineReader::kMaxLineLength * 2, 'x');
    EXPECT_EQ(IniText::withValue("[A]\r\nk=" + huge + "\r\nj=2\r\n", "A", "k", "v"),
              "[A]\r\nk=v\r\nj=2\r\n");
    EXPECT_EQ(IniText::withValue("[A]\nk=  " + huge, "A", "k", "v"), "[A]\nk=  v");
}

struct WithValueCase {
    const char* name;
    std::string content;
    std::string section;
    std::string key;
    std::string value;
    std::string expected;
};

TEST(IniTextWithValue, ChangesOnlyWhatItMust) {
    const std::vector<WithValueCase> cases = {
        {"replace keeps spelling and other lines", "; top\n[Keyer]\nDelay = 5\nOther=1\n", "keyer",
         "DELAY", "7", "; top\n[Keyer]\nDelay = 7\nOther=1\n"},
        {"replace in CR LF file", "[A]\r\nk=1\r\nj=2\r\n", "A", "k", "9", "[A]\r\nk=9\r\nj=2\r\n"},
        {"replace unterminated last line", "[A]\nk=1", "A", "k", "9", "[A]\nk=9"},
        {"replace first duplicate only", "[A]\nk=1\nk=2\n", "A", "k", "9", "[A]\nk=9\nk=2\n"},
        {"replace with empty value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n"},
        {"insert after last non-blank line", "[A]\nx=1\n\n[B]\ny=2\n", "A", "k", "v",
         "[A]\nx=1\nk=v\n\n[B]\ny=2\n"},
        {"insert after a comment", "[A]\n;note\n", "A", "k", "v", "[A]\n;note\nk=v\n"},
        {"insert under a bare header", "[A]\n", "A", "k", "v", "[A]\nk=v\n"},
        {"insert at unterminated end", "[A]\nx=1", "A", "k", "v", "[A]\nx=1\nk=v\n"},
        {"insert in CR LF file", "[A]\r\nx=1\r\n", "A", "k", "v", "[A]\r\nx=1\r\nk=v\r\n"},
        {"new section in empty file", "", "A", "k", "v", "[A]\nk=v\n"},
        {"new section after a blank line", "[B]\ny=2\n", "A", "k", "v", "[B]\ny=2\n\n[A]\nk=v\n"},
        {"new section terminates last line", "[B]\ny=2", "A", "k", "v", "[B]\ny=2\n\n[A]\nk=v\n"},
        {"no second blank line", "[B]\ny=2\n\n", "A", "k", "v", "[B]\ny=2\n\n[A]\nk=v\n"},
        {"new section in CR LF file", "[B]\r\ny=2\r\n", "A", "k", "v",
         "[B]\r\ny=2\r\n\r\n[A]\r\nk=v\r\n"},
        {"key outside any section untouched", "k=1\n", "A", "k", "2", "k=1\n\n[A]\nk=2\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n"},
        {"file of only a byte-order mark", "\xEF\xBB\xBF", "A", "k", "v", "\xEF\xBB\xBF[A]\nk=v\n"},
        {"8-bit value byte for byte", "[A]\nk=1\n", "A", "k", "\xE4\x80", "[A]\nk=\xE4\x80\n"},
        {"replace before a final CR", "[A]\nk=1\r", "A", "k", "9", "[A]\nk=9\r"},
        // A CR that ends the content is a line ending: the bytes before a new line stay.
        {"insert after a final CR", "[A]\r\nx=1\r", "A", "k", "v", "[A]\r\nx=1\rk=v\r\n"},
        {"new section after a final CR", "[B]\r\ny=2\r", "A", "k", "v",
         "[B]\r\ny=2\r\r\n[A]\r\nk=v\r\n"},
        {"quotes written as given", "[A]\nk=1\n", "A", "k", "\"x\"", "[A]\nk=\"x\"\n"},
        {"CR only: replace", "[A]\rk=1\rj=2\r", "A", "k", "9", "[A]\rk=9\rj=2\r"},
        {"CR only: insert", "[A]\rj=2\r\r[B]\rx=1\r", "A", "k", "v", "[A]\rj=2\rk=v\r\r[B]\rx=1\r"},
        {"CR only: new section", "[B]\rx=1\r", "A", "k", "v", "[B]\rx=1\r\r[A]\rk=v\r"},
        {"CR only: unterminated end", "[A]\rj=2", "A", "k", "v", "[A]\rj=2\rk=v\r"},
        {"mixed: first line's ending used", "[A]\nj=2\r\n", "A", "k", "v", "[A]\nj=2\r\nk=v\n"},
        {"mixed: replace leaves the CR", "[A]\r\nk=1\rj=2\n", "A", "k", "9", "[A]\r\nk=9\rj=2\n"},
    };
    for (const WithValueCase& c : cases) {
        EXPECT_EQ(IniText::withValue(c.content, c.section, c.key, c.value), c.expected) << c.name;
    }
}

TEST(IniTextWithValue, WrittenValuesReadBackAndOthersStay) {
    const std::vector<std::string> contents = {"",
                                               "[A]\r\nx=1\r\n",
                                               "x=0\n[a]\nk=old\nx=1\n[B]\nk=b",
                                               "[B]\nx=1\n\n\n",
                                               "[A]\r\nx=1\r",
                                               "[B]\r\nk=b\r",
                                               "[A]\nx=1\r\r",
                                               "[B]\nk=b\r\r",
                                               "[A]\rx=1\r[B]\rk=b",
                                               "[B]\rk=b\r\r",
                                               "[A]\r\nx=1\r[B]\nk=b\r\n"};
    const std::vector<std::string> keys = {"k", "F1 Macro"};
    // Values are written as given; reading drops one pair of quotes.
    const std::vector<std::pair<std::string, std::string>> values = {
        {"", ""},
        {"a=b", "a=b"},
        {"\xFF\x80", "\xFF\x80"},
        {"\"q\"", "q"},
        {"'q\"", "'q\""},
        {"; no comment", "; no comment"},
        {"[no section]", "[no section]"}};
    for (const std::string& content : contents) {
        for (const std::string& key : keys) {
            for (const auto& [value, readBack] : values) {
                const std::string updated = IniText::withValue(content, "A", key, value);
                EXPECT_EQ(IniText::find(updated, "A", key), readBack) << content << "|" << value;
                EXPECT_EQ(IniText::find(updated, "A", "x"), IniText::find(content, "A", "x"));
                EXPECT_EQ(IniText::find(updated, "B", "k"), IniText::find(content, "B", "k"));
            }
        }
    }
}

std::string oneByOne(std::string content, const std::vector<ProfileEntry>& entries) {
    for (const ProfileEntry& entry : entries) {
        content = IniText::withValue(content, entry.section, entry.key, entry.value);
    }
    return content;
}

struct BatchCase {
    const char* name;
    std::vector<ProfileEntry> entries;
};

const std::vector<BatchCase>& batchCases() {
    static const std::vector<BatchCase> cases = {
        {"a save of the macro form",
         {{"Paths", "SoundDir", "/home/op/sound/"},
          {"Macroses", "Macro1", "~[iCall]"},
          {"Macroses", "Macro2", "~[f2.wav]"},
          {"Buttons", "Caption1", "CQ"},
          {"Buttons", "Caption2", ""}}},
        {"sections interleaved",
         {{"S", "k1", "1"}, {"T", "x", "2"}, {"S", "k2", "3"}, {"A", "new", "4"}, {"B", "z", "5"}}},
        {"a key named twice keeps its first spelling and its last value",
         {{"A", "Nk", "1"}, {" a ", "nK ", "2"}, {"A", "j", "3"}, {"A", "NK", "4"}}},
        {"same key, back to the stored value", {{"A", "k", "changed"}, {"A", "k", "1"}}},
        {"values opening with blanks, named twice",
         {{"A", "k", " x"}, {"A", "k", "  y "}, {"A", "j", "\t"}, {"A", "j", "z"}}},
        {"replace and insert at an unterminated end", {{"A", "k", "v"}, {"A", "j", "w"}}},
        {"new section, then a key of the last section", {{"N", "k", "1"}, {"B", "z", "2"}}},
        {"a key of the last section, then a new section", {{"B", "z", "2"}, {"N", "k", "1"}}},
        {"nothing changes", {{"A", "k", "1"}, {"B", "y", "2"}}},
        {"quoted values", {{"A", "k", "\"x\""}, {"Q", "q", "' y '"}}},
        {"no entries", {}},
    };
    return cases;
}

const std::vector<std::string>& batchContents() {
    static const std::vector<std::string> contents = {
        "",
        "\xEF\xBB\xBF",
        "[B]\ny=2",
        "[B]\ny=2\n",
        "[B]\ny=2\n\n",
        "[A]\nk=",
        "[A]\nk=1",
        "[A]\nk=1\nj=2\n[B]\ny=2\n\n",
        "[A]\r\nk=1\r\n[b]\r\ny=2",
        "[A]\rk=1\r[B]\ry=2\r",
        "[B]\ry=2\r\r",
        "[A]\r\nk=1\r[B]\ny=2\r",
        "x=0\n[a]\nk=1\n[A]\nk=dup\n[S]\n",
        "; c\r\n[Buttons]\r\nCaption1=CQ\r\n\r\n[Paths]\r\nSoundDir=/s/",
        "[Macroses]\nMacro1=~[iCall]\n[T]\n;only a comment",
        // Where a new line could fuse with a neighbour into one CR LF ending.
        "[B]\ny=2\r",
        "[A]\nk=1\r\r[B]\ny=2\r",
        "[A]\rk=1\n\n[B]\ry=2\r",
        "[S]\rk1=0\n\n\n[B]\ny=2\n\r",
    };
    return contents;
}

TEST(IniTextWithValues, EqualsWritingEachKeyInTurn) {
    for (const BatchCase& c : batchCases()) {
        for (const std::string& content : batchContents()) {
            EXPECT_EQ(IniText::withValues(content, c.entries), oneByOne(content, c.entries))
                << c.name << " in '" << content << "'";
        }
    }
}

TEST(IniTextEdits, LeaveOutWhatChangesNothingAndStopAtTheLastKey) {
    const std::string content = "[B]\ry=2\r[A]\r\nk=1\r\nj = 2 \r\n[C]\r\nz=0\r\n";
    IniLineReader same(content);
    EXPECT_TRUE(IniText::edits(same, {{"A", "k", "1"}, {"b", "Y", "2"}}).empty());

    IniLineReader partly(content);
    const std::vector<IniEdit> edits =
        IniText::edits(partly, {{"A", "j", "2"}, {"A", "k", "1"}, {"B", "y", "3"}});
    ASSERT_EQ(edits.size(), 2u) << "k holds its value already";
    EXPECT_EQ(edits[0].text, "3") << "in offset order";
    EXPECT_EQ(edits[1].text, "2") << "trailing blanks go";
    EXPECT_LT(edits[0].to, edits[1].from);
    EXPECT_EQ(partly.offset(), content.find("[C]")) << "read on past the last key";
}

struct StorableCase {
    const char* name;
    std::string section;
    std::string key;
    std::string value;
    bool storable;
};

TEST(IniTextIsStorable, RefusesWhatWouldInjectLines) {
    const std::vector<StorableCase> cases = {
        {"plain", "Keyer", "Delay", "5", true},
        {"empty value", "Keyer", "Delay", "", true},
        {"value with INI characters", "Keyer", "Delay", "a=b;c[d]", true},
        {"LF in value", "Keyer", "Delay", "1\n[Evil]", false},
        {"CR in value", "Keyer", "Delay", "1\r", false},
        {"LF in key", "Keyer", "De\nlay", "1", false},
        {"CR in section", "Key\rer", "Delay", "1", false},
        {"']' in section", "Key]er", "Delay", "1", false},
        {"'=' in key", "Keyer", "a=b", "1", false},
        {"key reads as section", "Keyer", "[x", "1", false},
        {"key reads as comment", "Keyer", ";x", "1", false},
        {"indented comment key", "Keyer", " ;x", "1", false},
        {"empty key", "Keyer", "", "1", false},
        {"blank key", "Keyer", "  ", "1", false},
    };
    for (const StorableCase& c : cases) {
        EXPECT_EQ(IniText::isStorable(c.section, c.key, c.value), c.storable) << c.name;
    }
}

}  // namespace
}  // namespace pelkora
