#include "platform/sndfile/SndfileWavProbe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"

namespace pelkora {
namespace {

using test::SoundFormat;

class SndfileWavProbeTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    SndfileWavProbe probe;
};

TEST_F(SndfileWavProbeTest, CanonicalWavGivesHeaderFactsAndLength) {
    const std::string path = dir.file("cq.wav");
    test::writeConstant(path, SoundFormat{}, 8000, 0.25f);  // 44-byte header + 16000 bytes

    const auto facts = probe.probe(path);

    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->sizeBytes, 16044u);
    EXPECT_EQ(facts->bytesPerSecond, 16000u);
    ASSERT_TRUE(facts->decodedSeconds);
    EXPECT_DOUBLE_EQ(*facts->decodedSeconds, 1.0);
}

TEST_F(SndfileWavProbeTest, SizeCountsWholeFourByteRecordsOnly) {
    struct Case {
        int tailBytes;
        std::uint64_t sizeBytes;
    };
    for (const Case& c : {Case{0, 16044}, Case{1, 16044}, Case{3, 16044}, Case{4, 16048}}) {
        const std::string path = dir.file("tail.wav");
        test::writeConstant(path, SoundFormat{}, 8000, 0.0f);
        test::appendBytes(path, std::string(static_cast<std::size_t>(c.tailBytes), '\x7f'));

        const auto facts = probe.probe(path);

        ASSERT_TRUE(facts) << c.tailBytes;
        EXPECT_EQ(facts->sizeBytes, c.sizeBytes) << c.tailBytes;
    }
}

TEST_F(SndfileWavProbeTest, HeaderRuleNeedsThirtyTwoBytesButNoDecodableAudio) {
    const std::string path = dir.file("short.wav");
    std::string bytes(28, 'x');
    bytes += "\x78\x56\x34\x12";  // little-endian 0x12345678 at offset 28

    test::writeBytes(path, bytes.substr(0, 31));
    EXPECT_FALSE(probe.probe(path));

    for (const std::string& tail : {std::string(), std::string("abc")}) {
        test::writeBytes(path, bytes + tail);
        const auto facts = probe.probe(path);
        ASSERT_TRUE(facts);
        EXPECT_EQ(facts->sizeBytes, 32u);
        EXPECT_EQ(facts->bytesPerSecond, 0x12345678u);
        EXPECT_FALSE(facts->decodedSeconds);
    }
}

TEST_F(SndfileWavProbeTest, MissingFileAndDirectoryGiveNothing) {
    EXPECT_FALSE(probe.probe(dir.file("absent.wav")));
    EXPECT_FALSE(probe.probe(dir.path()));
    EXPECT_FALSE(probe.probe(""));
}

TEST_F(SndfileWavProbeTest, FifoGivesNothingWithoutWaitingForAWriter) {
    const std::string path = dir.file("fifo.wav");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);

    auto result = std::async(std::launch::async, [&] { return probe.probe(path); });

    const bool blocked = result.wait_for(std::chrono::seconds(5)) == std::future_status::timeout;
    if (blocked) {
        // Release a blocked open so the test fails instead of hanging.
        ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_FALSE(blocked);
    EXPECT_FALSE(result.get());
}

TEST_F(SndfileWavProbeTest, SparseTwoGigabyteFileIsProbedWithoutReadingIt) {
    const std::string path = dir.file("sparse.wav");
    constexpr off_t kTwoGigabytes = off_t{2} * 1024 * 1024 * 1024;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kTwoGigabytes), 0);
    ::close(fd);

    const auto facts = probe.probe(path);

    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->sizeBytes, static_cast<std::uint64_t>(kTwoGigabytes));
    EXPECT_EQ(facts->bytesPerSecond, 0u);
    EXPECT_FALSE(facts->decodedSeconds);
}

TEST_F(SndfileWavProbeTest, DecodedLengthOfOtherEncodings) {
    struct Case {
        const char* name;
        SoundFormat format;
        std::int64_t frames;
        std::uint32_t bytesPerSecond;
        double seconds;
    };
    const Case cases[] = {
        {"float", {8000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT}, 4000, 32000, 0.5},
        {"8-bit", {8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}, 2000, 8000, 0.25},
        {"mu-law", {8000, 1, SF_FORMAT_WAV | SF_FORMAT_ULAW}, 12000, 8000, 1.5},
        {"stereo 44.1 kHz", {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 22050, 176400, 0.5},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(std::string(c.name) + ".wav");
        test::writeConstant(path, c.format, c.frames, 0.5f);

        const auto facts = probe.probe(path);

        ASSERT_TRUE(facts) << c.name;
        EXPECT_EQ(facts->bytesPerSecond, c.bytesPerSecond) << c.name;
        ASSERT_TRUE(facts->decodedSeconds) << c.name;
        EXPECT_DOUBLE_EQ(*facts->decodedSeconds, c.seconds) << c.name;
    }
}

}  // namespace
}  // namespace pelkora
