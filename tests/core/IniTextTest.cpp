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
        {"quotes kept", "[A]\nk=\"x\"\n", "A", "k", "\"x\""},
        {"blanks around the section", "  [ A ]  \nk=1\n", "A", "k", "1"},
        {"8-bit value byte for byte", "[A]\nk=\xE4\xF6\xFF\n", "A", "k", "\xE4\xF6\xFF"},
        {"line without '=' ignored", "[A]\nk\nk=2\n", "A", "k", "2"},
        {"byte-order mark skipped", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "1"},
        {"unclosed bracket is no section", "[A]\n[B\nk=1\n", "A", "k", "1"},
        {"mixed line endings", "[A]\r\nj=0\nk=1\r\n", "A", "k", "1"},
        {"CR ending an unterminated last line", "[A]\r\nk=v\r", "A", "k", "v"},
        {"empty value before a final CR", "[A]\nk=\r", "A", "k", ""},
        {"CR inside a value kept", "[A]\nk=a\rb\n", "A", "k", "a\rb"},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(IniText::find(c.content, c.section, c.key), c.expected) << c.name;
    }
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
        {"insert after a final CR", "[A]\r\nx=1\r", "A", "k", "v", "[A]\r\nx=1\r\nk=v\r\n"},
        {"new section after a final CR", "[B]\r\ny=2\r", "A", "k", "v",
         "[B]\r\ny=2\r\n\r\n[A]\r\nk=v\r\n"},
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
                                               "[B]\nk=b\r\r"};
    const std::vector<std::string> keys = {"k", "F1 Macro"};
    const std::vector<std::string> values = {"",      "a=b",          "\xFF\x80",
                                             "\"q\"", "; no comment", "[no section]"};
    for (const std::string& content : contents) {
        for (const std::string& key : keys) {
            for (const std::string& value : values) {
                const std::string updated = IniText::withValue(content, "A", key, value);
                EXPECT_EQ(IniText::find(updated, "A", key), value) << content << "|" << value;
                EXPECT_EQ(IniText::find(updated, "A", "x"), IniText::find(content, "A", "x"));
                EXPECT_EQ(IniText::find(updated, "B", "k"), IniText::find(content, "B", "k"));
            }
        }
    }
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
