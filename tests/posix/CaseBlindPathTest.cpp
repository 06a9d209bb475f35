#include "platform/posix/CaseBlindPath.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelkora {
namespace {

namespace fs = std::filesystem;

class CaseBlindPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pelkora-caseblind-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    void make(const std::vector<std::string>& files) const {
        for (const std::string& file : files) {
            const fs::path path = fs::path(dir_) / file;
            fs::create_directories(path.parent_path());
            std::ofstream(path) << file;
        }
    }
    std::string in(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

TEST_F(CaseBlindPathTest, FindsTheFileWhoseNameDiffersOnlyInCase) {
    struct Case {
        std::vector<std::string> files;
        std::string asked;
        std::string found;  // relative to the directory
    };
    const std::vector<Case> cases = {
        {{"CQ.WAV"}, "cq.wav", "CQ.WAV"},
        {{"cq.wav", "CQ.WAV"}, "cq.wav", "cq.wav"},            // exact first
        {{"cq.wav", "CQ.WAV"}, "CQ.WAV", "CQ.WAV"},            // exact first
        {{"cq.WAV", "Cq.wav", "CQ.wav"}, "cq.wav", "CQ.wav"},  // byte order: 'C' < 'c'
        {{"Sounds/Letters/A.WAV"}, "sounds/letters/a.wav", "Sounds/Letters/A.WAV"},
        {{"sounds/A.WAV", "SOUNDS/a.wav"}, "Sounds/a.wav", "SOUNDS/a.wav"},
        {{"cq.wav"}, "cq.wav", "cq.wav"},
        {{"cq.wav"}, "cq2.wav", "cq2.wav"},  // nothing matches: as asked
        {{"cq.wav"}, "cq.wav.bak", "cq.wav.bak"},
        {{"CQ.WAV"}, "./x/../cq.wav", "./x/../cq.wav"},      // no such directory x
        {{"\xC3\x84.wav"}, "\xC3\xA4.wav", "\xC3\xA4.wav"},  // only ASCII letters fold
        {{"\xC3\x84X.wav"}, "\xC3\x84x.WAV", "\xC3\x84X.wav"},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        make(c.files);
        EXPECT_EQ(CaseBlindPath::resolve(in(c.asked)), in(c.found)) << c.asked;
    }
}

TEST_F(CaseBlindPathTest, DoubledSlashesAndRelativePathsStillResolve) {
    make({"Sounds/CQ.WAV"});
    EXPECT_EQ(CaseBlindPath::resolve(dir_ + "//sounds//cq.wav"), in("Sounds/CQ.WAV"));

    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    EXPECT_EQ(CaseBlindPath::resolve("sounds/cq.wav"), "Sounds/CQ.WAV");
    EXPECT_EQ(CaseBlindPath::resolve("./SOUNDS/cq.wav"), "./Sounds/CQ.WAV");
    fs::current_path(before);
}

TEST_F(CaseBlindPathTest, AnEntryAsWrittenWinsEvenWhenItCannotBeOpened) {
    // A dangling link named exactly as asked is that name: the open then
    // fails as it should, rather than another file playing in its place.
    make({"CQ.WAV"});
    fs::create_symlink(in("gone.wav"), in("cq.wav"));
    EXPECT_EQ(CaseBlindPath::resolve(in("cq.wav")), in("cq.wav"));
}

TEST_F(CaseBlindPathTest, EmptyAndRootPathsAreLeftAlone) {
    EXPECT_EQ(CaseBlindPath::resolve(""), "");
    EXPECT_EQ(CaseBlindPath::resolve("/"), "/");
}

}  // namespace
}  // namespace pelkora
