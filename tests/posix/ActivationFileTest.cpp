#include "platform/posix/ActivationFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace pelkora {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A private folder, gone with the test.
struct TempDir {
    std::string root;
    TempDir() {
        root = (std::filesystem::temp_directory_path() / "pelkora-activation-XXXXXX").string();
        if (mkdtemp(root.data()) == nullptr) {
            root.clear();
        }
    }
    ~TempDir() {
        if (!root.empty()) {
            std::filesystem::remove_all(root);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

TEST(ActivationFilePath, FollowsXdgDataHomeThenHome) {
    const std::string tail = "/dbus-1/services/org.pelkora.Pelkora.service";
    struct Case {
        const char* what;
        std::map<std::string, std::string> env;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"XDG_DATA_HOME", {{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}}, "/d" + tail},
        {"XDG_DATA_HOME with a slash", {{"XDG_DATA_HOME", "/d/"}}, "/d" + tail},
        {"empty XDG_DATA_HOME", {{"XDG_DATA_HOME", ""}, {"HOME", "/h"}}, "/h/.local/share" + tail},
        {"relative XDG_DATA_HOME",
         {{"XDG_DATA_HOME", "d"}, {"HOME", "/h"}},
         "/h/.local/share" + tail},
        {"HOME only", {{"HOME", "/h/"}}, "/h/.local/share" + tail},
        {"nothing usable", {{"HOME", "h"}}, ""},
        {"no environment", {}, ""},
    };
    for (const Case& c : cases) {
        const auto getEnv = [&c](const char* name) -> std::optional<std::string> {
            const auto found = c.env.find(name);
            return found == c.env.end() ? std::nullopt : std::optional(found->second);
        };
        EXPECT_EQ(ActivationFile::path(getEnv), c.expected) << c.what;
    }
}

TEST(ActivationFileContents, QuotesTheProgramAsTheBusDaemonReadsIt) {
    const std::vector<std::pair<std::string, std::string>> words = {
        {"/usr/bin/pelkora", "/usr/bin/pelkora"},
        {"/opt/pelkora-1.0/bin/pelkora_x", "/opt/pelkora-1.0/bin/pelkora_x"},
        {"/home/op/my keyer/pelkora", "'/home/op/my keyer/pelkora'"},
        {"/home/op/op's/pelkora", "'/home/op/op'\"'\"'s/pelkora'"},
        {"/a\"b/c\\d", "'/a\"b/c\\\\d'"},
        {"/$HOME/%s", "'/$HOME/%s'"},
        {"", "''"},
    };
    for (const auto& [word, expected] : words) {
        EXPECT_EQ(ActivationFile::execWord(word), expected) << word;
    }
    EXPECT_EQ(ActivationFile::contents("/usr/bin/pelkora"),
              "[D-BUS Service]\nName=org.pelkora.Pelkora\nExec=/usr/bin/pelkora -AUTOMATION\n");
}

TEST(ActivationFileWrite, WritesWholeFilesAndSaysWhyNot) {
    TempDir dir;
    ASSERT_FALSE(dir.root.empty());
    const std::string file = dir.root + "/data/dbus-1/services/org.pelkora.Pelkora.service";

    // The directories are made; a second write replaces the first.
    ASSERT_TRUE(ActivationFile::write(file, "/old/pelkora").ok());
    const ActivationFile::Outcome again = ActivationFile::write(file, "/new place/pelkora");
    ASSERT_TRUE(again.ok()) << again.error;
    EXPECT_EQ(again.path, file);
    EXPECT_EQ(readFile(file), ActivationFile::contents("/new place/pelkora"));
    const auto mode = std::filesystem::status(file).permissions();
    EXPECT_NE(mode & std::filesystem::perms::others_read, std::filesystem::perms::none);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root + "/data/dbus-1/services"),
                            std::filesystem::directory_iterator()),
              1);

    std::ofstream(dir.root + "/file") << "x";
    struct Failure {
        const char* what;
        std::string file;
        std::string executable;
        std::string error;
    };
    const std::vector<Failure> failures = {
        {"a file where a folder must be", dir.root + "/file/services/x.service", "/p",
         "Not a directory"},
        {"a folder where the file must be", dir.root + "/data/dbus-1", "/p", "Is a directory"},
        {"no place at all", "", "/p", "neither XDG_DATA_HOME nor HOME names a directory"},
        {"a line break in the path", dir.root + "/x.service", "/p\nName=evil",
         "the program's path '/p\nName=evil' cannot be written in the file"},
        {"no path known", dir.root + "/x.service", "",
         "the program's path '' cannot be written in the file"},
    };
    for (const Failure& f : failures) {
        const ActivationFile::Outcome outcome = ActivationFile::write(f.file, f.executable);
        EXPECT_FALSE(outcome.ok()) << f.what;
        EXPECT_EQ(outcome.error, f.error) << f.what;
        EXPECT_EQ(outcome.path, f.file) << f.what;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.root + "/x.service"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root + "/data/dbus-1"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(ActivationFileRemove, RemovesAndToleratesAMissingFile) {
    TempDir dir;
    ASSERT_FALSE(dir.root.empty());
    const std::string file = dir.root + "/services/org.pelkora.Pelkora.service";
    ASSERT_TRUE(ActivationFile::write(file, "/usr/bin/pelkora").ok());
    EXPECT_TRUE(ActivationFile::remove(file).ok());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(ActivationFile::remove(file).ok()) << "missing already";
    EXPECT_TRUE(ActivationFile::remove(dir.root + "/nowhere/x.service").ok());
    std::ofstream(dir.root + "/file") << "x";
    const ActivationFile::Outcome through = ActivationFile::remove(dir.root + "/file/x.service");
    EXPECT_EQ(through.error, "Not a directory");
}

TEST(ActivationFileRunningProgram, IsThisTestBinary) {
    const std::string self = ActivationFile::runningProgram();
    ASSERT_TRUE(self.starts_with('/'));
    EXPECT_TRUE(std::filesystem::equivalent(self, "/proc/self/exe"));
}

}  // namespace
}  // namespace pelkora
