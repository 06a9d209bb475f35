#include "BenchSound.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace pelkora::bench {
namespace {

std::uint32_t littleEndian(const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int index = count - 1; index >= 0; --index) {
        value = value << 8 | bytes[index];
    }
    return value;
}

struct Chunk {
    std::string id;
    std::uint32_t size = 0;
    std::streamoff dataAt = 0;
};

// The next RIFF chunk from the stream's position, or an empty id at the end.
Chunk nextChunk(std::ifstream& file) {
    unsigned char head[8] = {};
    Chunk chunk;
    if (file.read(reinterpret_cast<char*>(head), sizeof head)) {
        chunk.id.assign(reinterpret_cast<const char*>(head), 4);
        chunk.size = littleEndian(head + 4, 4);
        chunk.dataAt = file.tellg();
    }
    return chunk;
}

}  // namespace

std::optional<BenchSound> BenchSound::read(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    char riff[12] = {};
    if (!file.read(riff, sizeof riff) || std::string(riff, 4) != "RIFF" ||
        std::string(riff + 8, 4) != "WAVE") {
        error = path + " is not a WAV file";
        return std::nullopt;
    }
    std::uint32_t byteRate = 0;
    std::uint32_t bitsPerSample = 0;
    for (Chunk chunk = nextChunk(file); !chunk.id.empty(); chunk = nextChunk(file)) {
        std::vector<unsigned char> body(std::min<std::uint32_t>(chunk.size, 16));
        file.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(body.size()));
        if (chunk.id == "fmt " && body.size() == 16) {
            byteRate = littleEndian(&body[8], 4);
            bitsPerSample = littleEndian(&body[14], 2);
        } else if (chunk.id == "data" && body.size() >= 2 && byteRate > 0 && bitsPerSample == 16) {
            const auto first = static_cast<std::int16_t>(littleEndian(body.data(), 2));
            const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
            return BenchSound{std::filesystem::path(path).filename().string(),
                              static_cast<float>(std::abs(first)) / 32768.0f,
                              chunk.size * 1000.0 / byteRate, fileBytes * 1000.0 / byteRate};
        }
        file.seekg(chunk.dataAt + chunk.size + (chunk.size & 1));
    }
    error = path + " is not 16-bit PCM with samples";
    return std::nullopt;
}

}  // namespace pelkora::bench
