#include "platform/sndfile/TakeWriter.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"

namespace pelkora {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> entries(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::vector<float> ramp(std::int64_t frames, float top) {
    std::vector<float> samples;
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        samples.push_back(top * static_cast<float>(frame % 100) / 100.0f);
    }
    return samples;
}

// Records one take of `frames` samples; the error of the first step that failed.
std::string record(const std::string& path, std::int64_t frames, float top = 0.5f,
                   int rate = 16000) {
    TakeWriter take;
    std::string error;
    const std::vector<float> samples = ramp(frames, top);
    if (take.open(path, rate, &error) && take.write(samples.data(), frames, &error) &&
        take.finish(&error)) {
        return {};
    }
    return error.empty() ? "failed without a reason" : error;
}

TEST(TakeWriterTest, WritesACanonicalMonoSixteenBitWav) {
    for (const int rate : {16000, 22050, 48000}) {
        SCOPED_TRACE(rate);
        test::TempDir dir;
        const std::string path = dir.file("cq.wav");
        ASSERT_EQ(record(path, 1234, 0.5f, rate), "");

        const std::string bytes = bytesOf(path);
        ASSERT_EQ(bytes.size(), 44U + 2 * 1234);
        EXPECT_EQ(bytes.substr(0, 44), test::wavHeader(rate, 1, 16, 2 * 1234));
        const test::ReadBack back = test::readSound(path);
        ASSERT_EQ(back.samples.size(), 1234U);
        const std::vector<float> written = ramp(1234, 0.5f);
        for (std::size_t frame = 0; frame < written.size(); ++frame) {
            ASSERT_NEAR(back.samples[frame], written[frame], 1.0f / 32768) << frame;
        }
        EXPECT_EQ(entries(dir.path()), std::set<std::string>{"cq.wav"});
    }
}

TEST(TakeWriterTest, UndoPutsTheEarlierTakeBackByteForByte) {
    test::TempDir dir;
    const std::string path = dir.file("cq.wav");
    ASSERT_EQ(record(path, 1000, 0.25f), "");
    const std::string first = bytesOf(path);
    EXPECT_FALSE(TakeWriter::canUndo(path)) << "a first take replaced nothing";
    std::string error;
    EXPECT_FALSE(TakeWriter::undo(path, &error));
    EXPECT_NE(error.find("no earlier recording"), std::string::npos) << error;
    EXPECT_EQ(bytesOf(path), first) << "a refused undo keeps the take";

    ASSERT_EQ(record(path, 3000, 0.75f), "");
    EXPECT_NE(bytesOf(path), first);
    EXPECT_EQ(TakeWriter::undoPathOf(path), dir.file(".cq.wav.undo"));
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"cq.wav", ".cq.wav.undo"}));
    ASSERT_TRUE(TakeWriter::undo(path, &error)) << error;
    EXPECT_EQ(bytesOf(path), first);
    EXPECT_EQ(entries(dir.path()), std::set<std::string>{"cq.wav"});

    // Only the last take is kept: a third one's undo gives back the second.
    ASSERT_EQ(record(path, 2000, 0.5f), "");
    const std::string second = bytesOf(path);
    ASSERT_EQ(record(path, 500, 0.1f), "");
    ASSERT_TRUE(TakeWriter::undo(path, &error)) << error;
    EXPECT_EQ(bytesOf(path), second);
}

TEST(TakeWriterTest, AnUndoCopyOfAFileSinceRemovedIsNotRestored) {
    test::TempDir dir;
    const std::string path = dir.file("cq.wav");
    ASSERT_EQ(record(path, 1000), "");
    ASSERT_EQ(record(path, 2000), "");
    fs::remove(path);
    ASSERT_EQ(record(path, 3000), "");
    EXPECT_FALSE(TakeWriter::canUndo(path));
    std::string error;
    EXPECT_FALSE(TakeWriter::undo(path, &error));
    EXPECT_EQ(test::readSound(path).samples.size(), 3000U);
}

TEST(TakeWriterTest, ATakeThroughALinkReplacesTheFileItPointsAt) {
    test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("store").c_str(), 0700), 0);
    ASSERT_EQ(record(dir.file("store/cq.wav"), 1000), "");
    const std::string first = bytesOf(dir.file("store/cq.wav"));
    fs::create_symlink("store/cq.wav", dir.file("cq.wav"));

    ASSERT_EQ(record(dir.file("cq.wav"), 2000), "");
    EXPECT_TRUE(fs::is_symlink(dir.file("cq.wav")));
    EXPECT_EQ(test::readSound(dir.file("store/cq.wav")).samples.size(), 2000U);
    std::string error;
    ASSERT_TRUE(TakeWriter::undo(dir.file("cq.wav"), &error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir.file("cq.wav")));
    EXPECT_EQ(bytesOf(dir.file("store/cq.wav")), first);
}

TEST(TakeWriterTest, RefusedTakesLeaveTheEarlierOneAndNothingElse) {
    struct Row {
        const char* what;
        std::string path;  // relative to the directory
        int rate;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"rate too low", "cq.wav", 15999, "16000"},
        {"rate too high", "cq.wav", 384001, "384000"},
        {"name too long", std::string(250, 'c') + ".wav", 16000, "too long"},
        {"no such directory", "gone/cq.wav", 16000, "No such file"},
        {"a directory in the way", "sub", 16000, "not a regular file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempDir dir;
        ASSERT_EQ(record(dir.file("cq.wav"), 1000), "");
        ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
        const std::string earlier = bytesOf(dir.file("cq.wav"));

        const std::string error = record(dir.file(row.path), 1000, 0.5f, row.rate);

        EXPECT_NE(error.find(row.message), std::string::npos) << error;
        EXPECT_EQ(bytesOf(dir.file("cq.wav")), earlier);
        EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"cq.wav", "sub"}));
    }
}

// Whether a take into path is refused for want of rights, tried by a user
// whom the file system holds to its permissions: the caller itself, or, for
// root (as CI runs), a child that has become nobody.
bool refusedForRights(const std::string& path) {
    const auto tryIt = [&path] {
        TakeWriter take;
        std::string error;
        return !take.open(path, 16000, &error) &&
               error.find("Permission denied") != std::string::npos;
    };
    if (::geteuid() != 0) {
        return tryIt();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        const bool dropped =
            ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(dropped && tryIt() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST(TakeWriterTest, AReadOnlyDirectoryIsRefusedAtTheStart) {
    test::TempDir dir;
    ASSERT_EQ(record(dir.file("cq.wav"), 1000), "");
    const std::string earlier = bytesOf(dir.file("cq.wav"));
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const bool refused = refusedForRights(dir.file("cq.wav"));
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_TRUE(refused);
    EXPECT_EQ(bytesOf(dir.file("cq.wav")), earlier);
    EXPECT_EQ(entries(dir.path()), std::set<std::string>{"cq.wav"});
}

// The process may write no more than a few blocks, as on a disk that fills up
// during the take.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
};

TEST(TakeWriterTest, AFullDiskMidTakeDiscardsItAndKeepsTheEarlierOne) {
    test::TempDir dir;
    const std::string path = dir.file("cq.wav");
    ASSERT_EQ(record(path, 1000), "");
    const std::string earlier = bytesOf(path);

    TakeWriter take;
    std::string error;
    ASSERT_TRUE(take.open(path, 16000, &error)) << error;
    const std::vector<float> block = ramp(16000, 0.5f);
    bool failed = false;
    {
        const FileSizeLimit limit(64 * 1024);
        for (int second = 0; second < 10 && !failed; ++second) {
            failed = !take.write(block.data(), 16000, &error);
        }
    }
    ASSERT_TRUE(failed) << "ten seconds fitted into 64 KiB";
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_FALSE(take.isOpen());
    EXPECT_FALSE(take.finish(&error));
    EXPECT_EQ(bytesOf(path), earlier);
    EXPECT_EQ(entries(dir.path()), std::set<std::string>{"cq.wav"});
}

}  // namespace
}  // namespace pelkora
