#include "core/settings/IniLineReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/IniText.h"

namespace pelkora {
namespace {

constexpr std::size_t kNever = std::string::npos;

// Hands out the content a few bytes at a time, as reads of a file may, and
// fails once failAt bytes have been handed out.
class ChunkedSource : public ByteSource {
  public:
    ChunkedSource(std::string content, std::size_t chunk, std::size_t failAt = kNever)
        : content_(std::move(content)), chunk_(chunk), failAt_(failAt) {}

    std::optional<std::size_t> read(char* buffer, std::size_t size) override {
        if (offset_ >= failAt_) {
            return std::nullopt;
        }
        const std::size_t count =
            std::min({size, chunk_, content_.size() - offset_, failAt_ - offset_});
        std::memcpy(buffer, content_.data() + offset_, count);
        offset_ += count;
        return count;
    }
    std::size_t handedOut() const { return offset_; }

  private:
    std::string content_;
    std::size_t chunk_;
    std::size_t failAt_;
    std::size_t offset_ = 0;
};

// A settings file that never ends: a head, then filler lines for ever.
class EndlessSource : public ByteSource {
  public:
    explicit EndlessSource(std::string head) : head_(std::move(head)) {}

    std::optional<std::size_t> read(char* buffer, std::size_t size) override {
        for (std::size_t i = 0; i < size; ++i, ++offset_) {
            buffer[i] = offset_ < head_.size() ? head_[offset_] : "x=y\n"[offset_ % 4];
        }
        return size;
    }
    std::uint64_t handedOut() const { return offset_; }

  private:
    std::string head_;
    std::uint64_t offset_ = 0;
};

struct Line {
    std::string text;
    std::uint64_t begin, end, next;
    std::string ending;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Line& l) {
    std::string ending;
    for (const char c : l.ending) {
        ending += c == '\r' ? "CR" : "LF";
    }
    return out << "{'" << l.text << "' " << l.begin << "," << l.end << "," << l.next << ","
               << ending << "}";
}

std::vector<Line> linesOf(IniLineReader& reader) {
    std::vector<Line> lines;
    IniLine line;
    while (reader.next(line)) {
        lines.push_back(
            {std::string(line.text), line.begin, line.end, line.next, std::string(line.ending)});
    }
    return lines;
}

struct SplitCase {
    const char* name;
    std::string content;
    std::vector<Line> expected;
};

const std::vector<SplitCase>& splitCases() {
    static const std::vector<SplitCase> cases = {
        {"empty", "", {}},
        {"LF and CR LF",
         "a\r\nb\nc",
         {{"a", 0, 1, 3, "\r\n"}, {"b", 3, 4, 5, "\n"}, {"c", 5, 6, 6, ""}}},
        {"final CR is a terminator", "a\r", {{"a", 0, 1, 2, "\r"}}},
        {"lone CR ends a line", "x\ry\n", {{"x", 0, 1, 2, "\r"}, {"y", 2, 3, 4, "\n"}}},
        {"CR only",
         "[A]\rk=1\r\rj=2",
         {{"[A]", 0, 3, 4, "\r"},
          {"k=1", 4, 7, 8, "\r"},
          {"", 8, 8, 9, "\r"},
          {"j=2", 9, 12, 12, ""}}},
        {"LF CR is two endings",
         "a\n\rb",
         {{"a", 0, 1, 2, "\n"}, {"", 2, 2, 3, "\r"}, {"b", 3, 4, 4, ""}}},
        {"CR CR LF", "a\r\r\n", {{"a", 0, 1, 2, "\r"}, {"", 2, 2, 4, "\r\n"}}},
        {"empty lines", "\n\r\n", {{"", 0, 0, 1, "\n"}, {"", 1, 1, 3, "\r\n"}}},
        {"byte-order mark skipped", "\xEF\xBB\xBF[A]\n", {{"[A]", 3, 6, 7, "\n"}}},
        {"byte-order mark alone is no line", "\xEF\xBB\xBF", {}},
        {"byte-order mark and CR", "\xEF\xBB\xBF\r", {{"", 3, 3, 4, "\r"}}},
        {"mark only at the start",
         "a\n\xEF\xBB\xBF",
         {{"a", 0, 1, 2, "\n"}, {"\xEF\xBB\xBF", 2, 5, 5, ""}}},
    };
    return cases;
}

TEST(IniLineReader, SplitsLinesWithTheirOffsets) {
    for (const SplitCase& c : splitCases()) {
        IniLineReader whole(c.content);
        EXPECT_EQ(linesOf(whole), c.expected) << c.name;
        EXPECT_EQ(whole.offset(), c.content.size()) << c.name;
    }
}

TEST(IniLineReader, BlocksOfAnySizeGiveTheSameLines) {
    const std::string longLine(IniLineReader::kMaxLineLength - 1, 'z');
    // A CR LF pair split between two blocks must still read as one ending.
    const std::string pairAtBlockEnd = std::string(IniLineReader::kBlockSize - 1, 'p') + "\r\nk=1";
    const std::string crAtBlockEnd = std::string(IniLineReader::kBlockSize - 1, 'p') + "\rk=1\r";
    std::vector<std::string> contents = {"[A]\r\nk=v\r\n\r\n;c\nj = w \r",
                                         longLine + "\r\nk=1\r",
                                         longLine + "xy\n",
                                         "\xEF\xBB\xBFk=1",
                                         pairAtBlockEnd,
                                         crAtBlockEnd,
                                         longLine + "\r" + longLine + "\n\r"};
    for (const SplitCase& c : splitCases()) {
        contents.push_back(c.content);
    }
    for (const std::string& content : contents) {
        IniLineReader whole(content);
        const std::vector<Line> expected = linesOf(whole);
        for (const std::size_t chunk :
             std::vector<std::size_t>{1, 2, 3, 5, 4096, IniLineReader::kBlockSize}) {
            ChunkedSource source(content, chunk);
            IniLineReader streamed(source);
            EXPECT_EQ(linesOf(streamed), expected) << content.substr(0, 20) << " in " << chunk;
            EXPECT_FALSE(streamed.failed());
        }
    }
}

TEST(IniLineReader, OverlongLineKeepsOnlyItsStartButSpansItsWholeLength) {
    const std::size_t limit = IniLineReader::kMaxLineLength;
    const std::string huge = "k=" + std::string(16 * limit, 'x');
    for (const std::string ending : {"\r\n", "\r", "\n"}) {
        SCOPED_TRACE(ending.size() == 2 ? "CR LF" : ending == "\r" ? "CR" : "LF");
        ChunkedSource source(huge + ending + "next" + ending, 1000);
        IniLineReader reader(source);
        IniLine line;
        ASSERT_TRUE(reader.next(line));
        EXPECT_EQ(line.text.size(), limit);
        EXPECT_TRUE(line.text.starts_with("k=xxx"));
        EXPECT_TRUE(line.cut);
        EXPECT_EQ(line.end, huge.size());
        EXPECT_EQ(line.next, huge.size() + ending.size());
        ASSERT_TRUE(reader.next(line));
        EXPECT_EQ(line.text, "next");
        EXPECT_FALSE(line.cut);
        EXPECT_FALSE(reader.next(line));
    }
}

TEST(IniLineReader, FailedReadEndsTheLinesWithoutTheInterruptedOne) {
    ChunkedSource source("[A]\nk=1\nj=22\n", 3, 10);
    IniLineReader reader(source);
    EXPECT_EQ(linesOf(reader), (std::vector<Line>{{"[A]", 0, 3, 4, "\n"}, {"k=1", 4, 7, 8, "\n"}}));
    EXPECT_TRUE(reader.failed());

    // Whether an LF follows the CR is never learnt: the line is not returned.
    ChunkedSource afterCr("[A]\rk=1\r", 4, 4);
    IniLineReader crThenFailure(afterCr);
    EXPECT_EQ(linesOf(crThenFailure), std::vector<Line>());
    EXPECT_TRUE(crThenFailure.failed());

    ChunkedSource failing("[A]\nk=1\n", 3, 5);
    IniLineReader keyLost(failing);
    EXPECT_EQ(IniText::find(keyLost, "A", "k"), std::nullopt);
    EXPECT_TRUE(keyLost.failed());
}

TEST(IniTextStreamed, FindReadsNoFurtherThanTheKey) {
    EndlessSource source("[Config]\r\nPTTLine=2\r\n[Macroses]\r\n");
    IniLineReader lines(source);
    EXPECT_EQ(IniText::find(lines, "config", "pttline"), "2");
    EXPECT_LE(source.handedOut(), IniLineReader::kBlockSize);
}

TEST(IniTextStreamed, EditsAcrossBlockBoundariesMatchTheWholeContent) {
    std::string content = "\xEF\xBB\xBF; settings\r\n[Macroses]\r\n";
    for (int i = 0; i < 3000; ++i) {
        content += "Macro" + std::to_string(i) + " = ~[f" + std::to_string(i) + ".wav]\r\n";
    }
    content += "[Config]\r\nPTTLine=1\r\n\r\n[Paths]\r\nSoundDir=/s/\r";
    struct Change {
        const char* section;
        const char* key;
        const char* value;
    };
    const std::vector<Change> changes = {{"macroses", "Macro1500", "~[ec]"},
                                         {"Macroses", "Macro9999", "new"},
                                         {"Config", "PTTLine", "3"},
                                         {"Config", "PTTPort", "2"},
                                         {"Paths", "Other", "x"},
                                         {"Buttons", "Caption1", "CQ"}};
    for (const Change& c : changes) {
        const std::string expected = IniText::withValue(content, c.section, c.key, c.value);
        ChunkedSource source(content, 777);
        IniLineReader lines(source);
        const IniEdit edit = IniText::edit(lines, c.section, c.key, c.value);
        const std::string applied =
            content.substr(0, edit.from) + edit.text + content.substr(edit.to);
        EXPECT_EQ(applied, expected) << c.key;
        EXPECT_EQ(IniText::find(applied, c.section, c.key), c.value) << c.key;
    }
}

struct UnchangedCase {
    const char* name;
    std::string content;
    std::string value;
    bool changesNothing;
};

TEST(IniTextEdit, KnowsWhenTheFileWouldNotChange) {
    const std::string huge(IniLineReader::kMaxLineLength, '1');
    const std::vector<UnchangedCase> cases = {
        {"same value", "[A]\nk = 1\n", "1", true},
        {"same value before a final CR", "[A]\nk=1\r", "1", true},
        {"other value", "[A]\nk=1\n", "2", false},
        {"trailing blanks would go", "[A]\nk=1 \n", "1", false},
        {"missing key", "[A]\n", "1", false},
        {"overlong line is rewritten", "[A]\nk=" + huge + "\n", huge.substr(2), false},
    };
    for (const UnchangedCase& c : cases) {
        IniLineReader lines(c.content);
        EXPECT_EQ(IniText::edit(lines, "A", "k", c.value).changesNothing, c.changesNothing)
            << c.name;
    }
}

}  // namespace
}  // namespace pelkora
