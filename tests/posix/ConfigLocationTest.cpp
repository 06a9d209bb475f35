#include "platform/posix/ConfigLocation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pelkora {
namespace {

struct LocationCase {
    const char* name;
    std::string executable;
    std::map<std::string, std::string> env;
    std::set<std::string> files;
    std::string expected;
};

TEST(StartDirectory, PicksPortableThenXdgThenHome) {
    const std::map<std::string, std::string> both = {{"XDG_CONFIG_HOME", "/x"},
                                                     {"HOME", "/home/op"}};
    const std::map<std::string, std::string> homeOnly = {{"HOME", "/home/op"}};
    const std::vector<LocationCase> cases = {
        {"portable install", "/opt/pk/pelkora", both, {"/opt/pk/pelkora.ini"}, "/opt/pk/"},
        {"XDG config home", "/opt/pk/pelkora", both, {}, "/x/pelkora/"},
        {"XDG with trailing slash",
         "/usr/bin/pelkora",
         {{"XDG_CONFIG_HOME", "/x/"}},
         {},
         "/x/pelkora/"},
        {"empty XDG falls to HOME",
         "/usr/bin/pelkora",
         {{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/op"}},
         {},
         "/home/op/.config/pelkora/"},
        {"relative XDG falls to HOME",
         "/usr/bin/pelkora",
         {{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/op"}},
         {},
         "/home/op/.config/pelkora/"},
        {"HOME only", "/usr/bin/pelkora", homeOnly, {}, "/home/op/.config/pelkora/"},
        {"HOME with trailing slash",
         "/usr/bin/pelkora",
         {{"HOME", "/home/op/"}},
         {},
         "/home/op/.config/pelkora/"},
        {"no environment", "/opt/pk/pelkora", {}, {}, "/opt/pk/"},
        {"relative HOME ignored", "/opt/pk/pelkora", {{"HOME", "op"}}, {}, "/opt/pk/"},
        {"ini elsewhere is not portable",
         "/opt/pk/pelkora",
         homeOnly,
         {"/opt/pelkora.ini"},
         "/home/op/.config/pelkora/"},
        {"executable without directory", "pelkora", {}, {}, "./"},
        {"executable in root", "/pelkora", both, {"/pelkora.ini"}, "/"},
    };
    for (const LocationCase& c : cases) {
        const auto getEnv = [&c](const char* name) -> std::optional<std::string> {
            const auto found = c.env.find(name);
            return found == c.env.end() ? std::nullopt : std::optional(found->second);
        };
        const auto fileExists = [&c](const std::string& path) { return c.files.contains(path); };
        EXPECT_EQ(startDirectory(c.executable, getEnv, fileExists), c.expected) << c.name;
    }
}

TEST(StartDirectory, RealEnvironmentGivesADirectory) {
    const std::string dir = startDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(dir.ends_with('/'));
}

TEST(JoinPath, InsertsOneSeparatorOnlyWhenNeeded) {
    EXPECT_EQ(joinPath("/a", "pelkora.ini"), "/a/pelkora.ini");
    EXPECT_EQ(joinPath("/a/", "pelkora.ini"), "/a/pelkora.ini");
    EXPECT_EQ(joinPath("/", "pelkora.ini"), "/pelkora.ini");
    EXPECT_EQ(joinPath("", "pelkora.ini"), "pelkora.ini");
}

TEST(DirectoryPart, KeepsTheDirectoryWithItsSeparator) {
    EXPECT_EQ(directoryPart("/home/op/.config/pelkora/pelkora.log"), "/home/op/.config/pelkora/");
    EXPECT_EQ(directoryPart("/pelkora.log"), "/");
    EXPECT_EQ(directoryPart("/a/"), "/a/");
    EXPECT_EQ(directoryPart("pelkora.log"), "");
}

TEST(MakeDirectories, CreatesWhatIsMissingAndSaysWhyNot) {
    std::string root = (std::filesystem::temp_directory_path() / "pelkora-mkdir-XXXXXX").string();
    ASSERT_NE(mkdtemp(root.data()), nullptr);
    std::ofstream(root + "/file") << "x";
    struct Case {
        const char* what;
        std::string dir;
        bool made;
        int error;
    };
    const std::vector<Case> cases = {
        {"nothing to do", root, true, 0},
        {"empty: the current directory", "", true, 0},
        {"two levels", root + "/config/pelkora/", true, 0},
        {"without the trailing slash", root + "/a/b", true, 0},
        {"again, now there", root + "/config/pelkora/", true, 0},
        {"through a file", root + "/file/pelkora/", false, ENOTDIR},
        {"a file at the end", root + "/file", false, ENOTDIR},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(makeDirectories(c.dir), c.made) << c.what;
        if (!c.made) {
            EXPECT_EQ(errno, c.error) << c.what;
        } else if (!c.dir.empty()) {
            EXPECT_TRUE(std::filesystem::is_directory(c.dir)) << c.what;
        }
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace pelkora
