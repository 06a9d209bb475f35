#include "BenchSound.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace pelkora::bench {
namespace {

void put(std::string& bytes, std::uint32_t value, int count) {
    for (int index = 0; index < count; ++index) {
        bytes.push_back(static_cast<char>(value >> (8 * index) & 0xff));
    }
}

// A 16 kHz 16-bit mono WAV file of `frames` samples at `sample`, with an
// optional chunk between "fmt " and "data", as some writers put there.
std::string wavBytes(int frames, std::int16_t sample, const std::string& extraChunk = "") {
    std::string body = "WAVEfmt ";
    put(body, 16, 4);
    put(body, 1, 2);      // PCM
    put(body, 1, 2);      // mono
    put(body, 16000, 4);  // frames a second
    put(body, 32000, 4);  // bytes a second
    put(body, 2, 2);
    put(body, 16, 2);
    if (!extraChunk.empty()) {
        body += "LIST";
        put(body, static_cast<std::uint32_t>(extraChunk.size()), 4);
        body += extraChunk;
    }
    body += "data";
    put(body, static_cast<std::uint32_t>(frames * 2), 4);
    for (int frame = 0; frame < frames; ++frame) {
        put(body, static_cast<std::uint16_t>(sample), 2);
    }
    std::string file = "RIFF";
    put(file, static_cast<std::uint32_t>(body.size()), 4);
    return file + body;
}

class BenchSoundTest : public ::testing::Test {
  protected:
    std::string write(const std::string& bytes) {
        std::ofstream(path_, std::ios::binary) << bytes;
        return path_;
    }
    void TearDown() override { std::filesystem::remove(path_); }

    std::string path_ = std::filesystem::temp_directory_path().string() + "/bench-sound-" +
                        std::to_string(::getpid()) + ".wav";
};

TEST_F(BenchSoundTest, ReadsLevelLengthAndTheTimeTheHeaderAdds) {
    struct Row {
        const char* what;
        std::string bytes;
        float level;
        double headerMs;
    };
    const Row rows[] = {
        {"canonical 44-byte header", wavBytes(4800, 8192), 0.25f, 44 / 32.0},
        {"a negative level", wavBytes(4800, -16384), 0.5f, 44 / 32.0},
        {"a chunk before the samples", wavBytes(4800, 8192, "INFOsoft"), 0.25f, 60 / 32.0},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto sound = BenchSound::read(write(row.bytes), error);
        ASSERT_TRUE(sound.has_value()) << row.what << ": " << error;
        EXPECT_FLOAT_EQ(sound->level, row.level) << row.what;
        EXPECT_DOUBLE_EQ(sound->soundMs, 300.0) << row.what;
        EXPECT_DOUBLE_EQ(sound->headerMs(), row.headerMs) << row.what;
    }
}

TEST_F(BenchSoundTest, RefusesWhatItCannotMeasure) {
    const std::pair<const char*, std::string> rows[] = {
        {"text", "these are not samples"},
        {"empty", ""},
        {"no samples", wavBytes(0, 0)},
        {"cut inside the header", wavBytes(10, 100).substr(0, 30)},
    };
    for (const auto& [what, bytes] : rows) {
        std::string error;
        EXPECT_FALSE(BenchSound::read(write(bytes), error).has_value()) << what;
        EXPECT_NE(error.find(path_), std::string::npos) << what;
    }
    std::string error;
    EXPECT_FALSE(BenchSound::read(path_ + ".missing", error).has_value());
}

}  // namespace
}  // namespace pelkora::bench
