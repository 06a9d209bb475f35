#include "platform/posix/FileDiagnosticLog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pelkora {
namespace {

namespace fs = std::filesystem;

const std::string kGap(50, ' ');
const std::string kProgram = "/opt/pk/pelkora";

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string line(const std::string& name, const std::string& value) {
    return name + kGap + value + kGap + "\r\n";
}

// Each reading of the clock is one second later, so the opening and the
// closing line show which reading each took.
class SteppingClock {
  public:
    std::tm operator()() {
        std::tm time{};
        time.tm_year = 124;
        time.tm_mon = 11;
        time.tm_mday = 6;
        time.tm_hour = 17;
        time.tm_min = 20;
        time.tm_sec = second_++;
        return time;
    }

  private:
    int second_ = 5;
};

class FileDiagnosticLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedLocale_ = std::setlocale(LC_TIME, nullptr);
        ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
        std::string pattern = (fs::temp_directory_path() / "pelkora-log-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/pelkora0612172005.log";
    }
    void TearDown() override {
        fs::remove_all(dir_);
        std::setlocale(LC_TIME, savedLocale_.c_str());
    }

    std::string dir_;
    std::string path_;

  private:
    std::string savedLocale_;
};

TEST_F(FileDiagnosticLogTest, WholeFileIsExact) {
    FileDiagnosticLog log(true, SteppingClock());
    std::string error = "untouched";
    ASSERT_TRUE(log.OpenDebugLog(path_, kProgram, &error));
    EXPECT_EQ(error, "untouched");
    log.logString("StartDir", "/opt/pk/");
    log.logInteger("i", 0);
    log.logInteger("Mixer.MixerCount", -7);
    log.logBoolean("VolForm.Visible #1", true);
    log.logBoolean("ShowVR.Checked before", false);
    log.CloseDebugLog();

    EXPECT_EQ(readBytes(path_),
              "Debug file was created for/opt/pk/pelkora 12/06/24 17:20:05\r\n"
              "\r\n" +
                  line("StartDir", "/opt/pk/") + "i" + kGap + "0" + kGap + "\r\n" +
                  line("Mixer.MixerCount", "-7") + line("VolForm.Visible #1", "True") +
                  line("ShowVR.Checked before", "False") +
                  "Debug file was closed 12/06/24 17:20:06\r\n");
    EXPECT_FALSE(log.isWriting());
    EXPECT_EQ(log.lastError(), "");
}

TEST_F(FileDiagnosticLogTest, EachLineIsOnDiskBeforeTheLogCloses) {
    FileDiagnosticLog log(true, SteppingClock());
    ASSERT_TRUE(log.OpenDebugLog(path_, kProgram, nullptr));
    const std::string opening = readBytes(path_);
    EXPECT_EQ(opening, "Debug file was created for/opt/pk/pelkora 12/06/24 17:20:05\r\n\r\n");
    log.logString("WaveRes", "/opt/pk/cq.wav");
    EXPECT_EQ(readBytes(path_), opening + line("WaveRes", "/opt/pk/cq.wav"));
}

TEST_F(FileDiagnosticLogTest, SwitchedOffCreatesNothing) {
    FileDiagnosticLog log(false, SteppingClock());
    std::string error;
    EXPECT_TRUE(log.OpenDebugLog(path_, kProgram, &error));
    log.logString("StartDir", "/opt/pk/");
    log.logInteger("i", 0);
    log.CloseDebugLog();
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_FALSE(log.isWriting());
    EXPECT_EQ(error, "");
}

TEST_F(FileDiagnosticLogTest, ExistingFileIsOverwritten) {
    std::ofstream(path_, std::ios::binary) << std::string(1000, 'x');
    FileDiagnosticLog log(true, SteppingClock());
    ASSERT_TRUE(log.OpenDebugLog(path_, kProgram, nullptr));
    log.CloseDebugLog();
    EXPECT_EQ(readBytes(path_),
              "Debug file was created for/opt/pk/pelkora 12/06/24 17:20:05\r\n\r\n"
              "Debug file was closed 12/06/24 17:20:06\r\n");
}

TEST_F(FileDiagnosticLogTest, MissingDirectoriesAreCreated) {
    // A first start: the settings directory the log goes into is not there.
    const std::string deep = dir_ + "/config/pelkora/pelkora0612172005.log";
    FileDiagnosticLog log(true, SteppingClock());
    std::string error = "untouched";
    ASSERT_TRUE(log.OpenDebugLog(deep, kProgram, &error));
    EXPECT_EQ(error, "untouched");
    log.CloseDebugLog();
    EXPECT_EQ(readBytes(deep),
              "Debug file was created for/opt/pk/pelkora 12/06/24 17:20:05\r\n\r\n"
              "Debug file was closed 12/06/24 17:20:06\r\n");
    EXPECT_EQ(fs::status(dir_ + "/config").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(FileDiagnosticLogTest, FailedOpenNamesTheFileAndSwitchesTheLogOff) {
    std::ofstream(dir_ + "/file") << "a file where a directory should be";
    struct Case {
        const char* what;
        std::string path;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"a file in the directory path", dir_ + "/file/sub/pelkora.log",
         "Unable to create " + dir_ + "/file/sub/pelkora.log: Not a directory"},
        {"a file as the last directory", dir_ + "/file/pelkora.log",
         "Unable to create " + dir_ + "/file/pelkora.log: Not a directory"},
        {"a directory in the file's place", dir_, "Unable to create " + dir_ + ": Is a directory"},
        {"a full disk", "/dev/full", "Unable to write to /dev/full: No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileDiagnosticLog log(true, SteppingClock());
        std::string error;
        EXPECT_FALSE(log.OpenDebugLog(c.path, kProgram, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(log.lastError(), error);

        // Off for the rest of the run: a later open with a good name does nothing.
        log.logString("StartDir", "/opt/pk/");
        EXPECT_TRUE(log.OpenDebugLog(path_, kProgram, nullptr));
        log.logInteger("i", 0);
        log.CloseDebugLog();
        EXPECT_FALSE(fs::exists(path_));
        EXPECT_FALSE(log.isWriting());
    }
}

TEST_F(FileDiagnosticLogTest, CallsOutsideOpenAndCloseWriteNothing) {
    FileDiagnosticLog log(true, SteppingClock());
    log.logString("before", "open");
    log.CloseDebugLog();
    ASSERT_TRUE(log.OpenDebugLog(path_, kProgram, nullptr));
    EXPECT_TRUE(log.OpenDebugLog(dir_ + "/second.log", kProgram, nullptr));
    log.CloseDebugLog();
    log.logString("after", "close");
    log.CloseDebugLog();

    EXPECT_FALSE(fs::exists(dir_ + "/second.log"));
    EXPECT_EQ(readBytes(path_),
              "Debug file was created for/opt/pk/pelkora 12/06/24 17:20:05\r\n\r\n"
              "Debug file was closed 12/06/24 17:20:06\r\n");
}

TEST_F(FileDiagnosticLogTest, DestructionWithoutCloseKeepsTheLinesWithoutClosingLine) {
    {
        FileDiagnosticLog log(true, SteppingClock());
        ASSERT_TRUE(log.OpenDebugLog(path_, kProgram, nullptr));
        log.logBoolean("b", true);
    }
    EXPECT_EQ(
        readBytes(path_),
        "Debug file was created for/opt/pk/pelkora 12/06/24 17:20:05\r\n\r\n" + line("b", "True"));
}

}  // namespace
}  // namespace pelkora
