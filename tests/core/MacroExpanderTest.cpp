#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/keyer/MacroExpander.h"

namespace pelkora {
namespace {

// Records what expansion does, in one list, so that the order of entries,
// display pieces and immediate commands is visible.
class RecordingSink : public MacroSink {
  public:
    std::string soundDir() const override { return "S/"; }
    std::string callText() const override { return call; }
    std::string reportText() const override { return report; }
    std::string externalValue(const std::string& key) override {
        const auto found = external.find(key);
        return found == external.end() ? " " : found->second;
    }
    void appendEntry(std::string entry) override { log.push_back("E " + entry); }
    void appendDisplay(std::string_view piece) override {
        log.push_back("D " + std::string(piece));
    }
    void clearCommand() override { log.push_back("CLEAR"); }
    void transmitCommand() override { log.push_back("TX"); }
    void saveBeaconText() override { log.push_back("BEACONTEXT"); }

    std::string call = "AB/1";
    std::string report = "59";
    std::map<std::string, std::string> external;
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

Log expand(const std::string& macro, RecordingSink sink = {}) {
    MacroExpander::expand(macro, sink);
    return sink.log;
}

TEST(MacroExpander, ContestExchangeKeysFirstThenQueuesInOrder) {
    EXPECT_EQ(expand("~[tx]~[fcq.wav]~[ec]~[p40]~[er]~[rx]"),
              (Log{"TX", "E S/cq.wav", "D \"cq.wav\" ", "E S/A.wav", "E S/B.wav", "E S/stroke.wav",
                   "E S/1.wav", "D AB/1 ", "E ~[p40]", "D  ", "E S/5.wav", "E S/9.wav", "D 59 ",
                   "E ~[rx]", "D [RX] "}));
}

struct WordCase {
    const char* macro;
    Log expected;
};

class MacroWords : public ::testing::TestWithParam<WordCase> {};

TEST_P(MacroWords, ExpandAsTheLanguageSays) {
    EXPECT_EQ(expand(GetParam().macro), GetParam().expected) << GetParam().macro;
}

INSTANTIATE_TEST_SUITE_P(
    Language, MacroWords,
    ::testing::Values(
        // Command letters are case-blind, names keep their case.
        WordCase{"~[F2.WAV]", {"E S/2.WAV", "D \"2.WAV\" "}},
        WordCase{"~[f2.wav]", {"E S/2.wav", "D \"2.wav\" "}},
        // The last closing bracket may be left out; runs of "]" give no word.
        WordCase{"~[fcq.wav]]]~[ec",
                 {"E S/cq.wav", "D \"cq.wav\" ", "E S/A.wav", "E S/B.wav", "E S/stroke.wav",
                  "E S/1.wav", "D AB/1 "}},
        // Spaces are ordinary characters and stay inside words and names.
        WordCase{"~[fmy file.wav] ~[er]",
                 {"E S/my file.wav", "D \"my file.wav\" ", "E S/5.wav", "E S/9.wav", "D 59 "}},
        // Receive entries are always lower case.
        WordCase{"~[RX]", {"E ~[rx]", "D [RX] "}},
        // Pause and beacon words are queued as written, prefix and case kept.
        WordCase{"~[P]~[p250] x~[p3]", {"E ~[P]", "D  ", "E ~[p250]", "D  ", "E  x~[p3]", "D  "}},
        WordCase{"~[f1.wav]~[RP5000:3]",
                 {"E S/1.wav", "D \"1.wav\" ", "E ~[RP5000:3]", "D  ", "BEACONTEXT"}},
        // "~[RP" is neither a pause nor a receive word.
        WordCase{"~[rp100:2]", {"E ~[rp100:2]", "D  ", "BEACONTEXT"}},
        // Clear and transmit act at once, in macro order.
        WordCase{"~[cl]~[f2.wav]", {"CLEAR", "E S/2.wav", "D \"2.wav\" "}},
        WordCase{"~[f2.wav]~[cl]", {"E S/2.wav", "D \"2.wav\" ", "CLEAR"}},
        // Text in front of a command inside the word is ignored by the name.
        WordCase{"hello~[fa.wav]", {"E S/a.wav", "D \"a.wav\" "}},
        // An empty file name queues the bare directory, which the player skips.
        WordCase{"~[f]", {"E S/", "D \"\" "}},
        // No commands: nothing at all.
        WordCase{"", {}}, WordCase{"CQ test", {}}, WordCase{"]]]", {}},
        // One word can act several times: every matching test acts.
        WordCase{"~[tx~[rx", {"E ~[rx]", "D [RX] ", "TX"}}));

TEST(MacroExpander, SpellsEveryCharacterUntranslated) {
    RecordingSink sink;
    sink.call = "dl1 \\x";
    EXPECT_EQ(expand("~[ec]", sink), (Log{"E S/d.wav", "E S/l.wav", "E S/1.wav", "E S/ .wav",
                                          "E S/stroke.wav", "E S/x.wav", "D dl1 \\x "}));
}

TEST(MacroExpander, EmptyBoxesQueueNothingButASpace) {
    RecordingSink sink;
    sink.call = "";
    sink.report = "";
    EXPECT_EQ(expand("~[ec]~[er]", sink), (Log{"D  ", "D  "}));
}

TEST(MacroExpander, StoredValueIsReadByTheNameAfterTheCommand) {
    RecordingSink sink;
    sink.external["Call"] = "OH2";
    EXPECT_EQ(expand("~[iCall]", sink), (Log{"E S/O.wav", "E S/H.wav", "E S/2.wav", "D OH2 "}));
    // A missing key reads as one space: one entry for " .wav", two spaces shown.
    EXPECT_EQ(expand("~[INAME]", sink), (Log{"E S/ .wav", "D   "}));
}

}  // namespace
}  // namespace pelkora
