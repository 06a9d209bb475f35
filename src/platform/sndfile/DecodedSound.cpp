#include "platform/sndfile/DecodedSound.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace pelkora {
namespace {

using SoundFilePtr = std::unique_ptr<SNDFILE, decltype(&sf_close)>;

struct DescriptorCloser {
    int fd;
    ~DescriptorCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

std::optional<DecodedSound> DecodedSound::load(const std::string& path,
                                               std::int64_t longestSeconds) {
    // Opened non-blocking and only as a regular file, so a FIFO named as a
    // sound cannot hang the caller.
    const DescriptorCloser descriptor{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat status {};
    if (descriptor.fd < 0 || ::fstat(descriptor.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    SF_INFO info{};
    const SoundFilePtr file(sf_open_fd(descriptor.fd, SFM_READ, &info, SF_FALSE), &sf_close);
    if (!file || info.samplerate <= 0 || info.channels <= 0 || info.frames <= 0 ||
        info.frames > longestSeconds * info.samplerate) {
        return std::nullopt;
    }
    DecodedSound sound{info.samplerate, info.channels, {}};
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    // A truncated file yields fewer frames than its header promised.
    const sf_count_t got = sf_readf_float(file.get(), sound.samples.data(), info.frames);
    if (got <= 0) {
        return std::nullopt;
    }
    sound.samples.resize(static_cast<std::size_t>(got * info.channels));
    return sound;
}

}  // namespace pelkora
