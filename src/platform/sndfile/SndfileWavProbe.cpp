#include "platform/sndfile/SndfileWavProbe.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/CaseBlindPath.h"

namespace pelkora {
namespace {

constexpr off_t kBytesPerSecondOffset = 28;
constexpr off_t kShortestFile = 32;
constexpr std::uint64_t kRecordBytes = 4;

// Closes the descriptor on every return path.
struct DescriptorCloser {
    int fd;
    ~DescriptorCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::optional<std::uint32_t> readLittleEndian32(int fd, off_t offset) {
    unsigned char bytes[4] = {};
    ssize_t got = 0;
    do {
        got = ::pread(fd, bytes, sizeof bytes, offset);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof bytes)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// libsndfile reads only the header chunks here. A file it cannot decode is
// still probed: the header rule alone decides whether the player skips it.
std::optional<double> decodedSeconds(int fd) {
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) {
        return std::nullopt;
    }
    sf_close(file);
    if (info.samplerate <= 0 || info.frames < 0) {
        return std::nullopt;
    }
    return static_cast<double>(info.frames) / info.samplerate;
}

}  // namespace

std::optional<WavFacts> SndfileWavProbe::probe(const std::string& path) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const DescriptorCloser file{
        ::open(CaseBlindPath::resolve(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < kShortestFile) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> bytesPerSecond =
        readLittleEndian32(file.fd, kBytesPerSecondOffset);
    if (!bytesPerSecond) {
        return std::nullopt;
    }
    WavFacts facts;
    facts.sizeBytes = static_cast<std::uint64_t>(status.st_size) / kRecordBytes * kRecordBytes;
    facts.bytesPerSecond = *bytesPerSecond;
    facts.decodedSeconds = decodedSeconds(file.fd);
    return facts;
}

}  // namespace pelkora
