#include "platform/sndfile/SoundStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/posix/CaseBlindPath.h"

namespace pelkora {
namespace {

// Closes the descriptor unless it has been handed on.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int release() { return std::exchange(fd, -1); }
};

bool refuse(std::string* why, std::string reason) {
    if (why != nullptr) {
        *why = std::move(reason);
    }
    return false;
}

std::string describeSeconds(std::int64_t seconds) {
    if (seconds > 0 && seconds % 60 == 0) {
        return std::to_string(seconds / 60) + " minutes";
    }
    return std::to_string(seconds) + " seconds";
}

bool audioFits(const SF_INFO& info, std::int64_t longestSeconds, std::string* why) {
    if (info.samplerate <= 0 || info.channels <= 0 || info.channels > SoundStream::kMostChannels) {
        return refuse(why, "the file's header gives " + std::to_string(info.channels) +
                               " channels at " + std::to_string(info.samplerate) + " Hz");
    }
    if (info.frames <= 0) {
        return refuse(why, "the file holds no audio");
    }
    // frames > longestSeconds * rate, without the product overflowing.
    if ((info.frames - 1) / info.samplerate >= longestSeconds) {
        return refuse(why, "the sound is longer than " + describeSeconds(longestSeconds));
    }
    return true;
}

}  // namespace

SoundStream::SoundStream(int fd, SNDFILE* file, const SF_INFO& info)
    : fd_(fd),
      file_(file),
      rate_(info.samplerate),
      channels_(info.channels),
      frames_(info.frames),
      firstFrame_(static_cast<std::size_t>(info.channels)) {}

SoundStream::~SoundStream() {
    sf_close(file_);
    ::close(fd_);
}

std::unique_ptr<SoundStream> SoundStream::open(const std::string& path, std::int64_t longestSeconds,
                                               std::string* why) {
    // Opened non-blocking and only as a regular file, so a FIFO named as a
    // sound cannot hang the caller.
    Descriptor descriptor{
        ::open(CaseBlindPath::resolve(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (descriptor.fd < 0) {
        refuse(why, std::string("cannot open the file: ") + std::strerror(errno));
        return nullptr;
    }
    struct stat status {};
    if (::fstat(descriptor.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        refuse(why, "not a regular file");
        return nullptr;
    }
    SF_INFO info{};
    // The descriptor stays ours: libsndfile does not close it on a failed open.
    SNDFILE* file = sf_open_fd(descriptor.fd, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) {
        refuse(why, std::string("not a sound file libsndfile can read: ") + sf_strerror(nullptr));
        return nullptr;
    }
    if (!audioFits(info, longestSeconds, why)) {
        sf_close(file);
        return nullptr;
    }
    std::unique_ptr<SoundStream> stream(new SoundStream(descriptor.release(), file, info));
    if (sf_readf_float(file, stream->firstFrame_.data(), 1) != 1) {
        refuse(why, "the file's audio cannot be read");
        return nullptr;
    }
    return stream;
}

std::int64_t SoundStream::read(float* samples, std::int64_t count) {
    if (count <= 0) {
        return 0;
    }
    std::int64_t got = 0;
    if (!firstFrameUsed_) {
        firstFrameUsed_ = true;
        std::copy(firstFrame_.begin(), firstFrame_.end(), samples);
        samples += channels_;
        --count;
        got = 1;
    }
    if (count > 0) {
        const sf_count_t more = sf_readf_float(file_, samples, count);
        got += std::max<sf_count_t>(more, 0);
    }
    return got;
}

}  // namespace pelkora
