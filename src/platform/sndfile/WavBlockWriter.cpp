#include "platform/sndfile/WavBlockWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

namespace pelkora {
namespace {

constexpr std::int64_t kSilenceBlockFrames = 4096;
constexpr int kTemporaryNameAttempts = 100;

bool fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
    return false;
}

std::string systemError() {
    return std::strerror(errno);
}

// A link to an existing file is followed, so the link itself survives the
// rename and the file it points at is the one replaced.
std::string resolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

}  // namespace

bool WavBlockWriter::open(const std::string& path, int rate, std::string* error) {
    discard();
    if (path.empty()) {
        return fail(error, "no output file named");
    }
    finalPath_ = resolvedPath(path);
    struct stat status {};
    if (::stat(finalPath_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        return fail(error, path + " is not a regular file");
    }
    const std::size_t slash = finalPath_.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "./" : finalPath_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? finalPath_ : finalPath_.substr(slash + 1);
    if (name.empty()) {
        return fail(error, path + " names a directory");
    }
    if (!createTemporary(directory, name, error)) {
        return false;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        discard();
        return fail(error, "cannot create " + path + ": " + reason);
    }
    // Without clipping, a float sample beyond full scale wraps to the other sign.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

bool WavBlockWriter::createTemporary(const std::string& directory, const std::string& name,
                                     std::string* error) {
    // The mode of a file being replaced is kept; a new one gets the umask's.
    struct stat existing {};
    const bool replacing = ::stat(finalPath_.c_str(), &existing) == 0;
    // An unnamed file disappears by itself should the process die before finish().
    fd_ = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // Not every file system has unnamed files: a hidden name it is.
        nameTemporary(directory, name, [this](const std::string& candidate) {
            fd_ = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd_ >= 0;
        });
    }
    if (fd_ < 0) {
        return fail(error, "cannot create a file in " + directory + ": " + systemError());
    }
    if (replacing) {
        ::fchmod(fd_, existing.st_mode & 07777);
    }
    directory_ = directory;
    name_ = name;
    return true;
}

bool WavBlockWriter::nameTemporary(const std::string& directory, const std::string& name,
                                   const std::function<bool(const std::string&)>& create) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryPath_ = directory + "." + name + "." + std::to_string(::getpid()) + "." +
                         std::to_string(attempt) + ".part";
        if (create(temporaryPath_)) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    temporaryPath_.clear();
    return false;
}

// Gives the unnamed file a name beside the final one, so rename() can replace
// that atomically (a link cannot overwrite an existing file).
bool WavBlockWriter::nameUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    return nameTemporary(directory_, name_, [&self](const std::string& candidate) {
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) ==
               0;
    });
}

bool WavBlockWriter::write(const float* samples, std::int64_t count, std::string* error) {
    if (file_ == nullptr) {
        return fail(error, "the output is not open");
    }
    if (count > kLongestFrames - frames_) {
        return fail(error, "longer than a WAV file can hold");
    }
    if (sf_writef_float(file_, samples, count) != count) {
        return fail(error, "cannot write " + finalPath_ + ": " + sf_strerror(file_));
    }
    frames_ += count;
    return true;
}

bool WavBlockWriter::writeSilence(std::int64_t count, std::string* error) {
    static constexpr std::array<float, kSilenceBlockFrames> kSilence{};
    while (count > 0) {
        const std::int64_t block = std::min(count, kSilenceBlockFrames);
        if (!write(kSilence.data(), block, error)) {
            return false;
        }
        count -= block;
    }
    return true;
}

bool WavBlockWriter::truncate(std::int64_t frames, std::string* error) {
    if (file_ == nullptr) {
        return fail(error, "the output is not open");
    }
    if (frames >= frames_) {
        return true;
    }
    sf_count_t position = std::max<std::int64_t>(frames, 0);
    // libsndfile answers SF_TRUE on failure here.
    if (sf_command(file_, SFC_FILE_TRUNCATE, &position, sizeof position) != SF_FALSE) {
        return fail(error, "cannot shorten " + finalPath_ + ": " + sf_strerror(file_));
    }
    frames_ = position;
    return true;
}

bool WavBlockWriter::finish(std::string* error) {
    if (file_ == nullptr) {
        return fail(error, "the output is not open");
    }
    const int closed = sf_close(std::exchange(file_, nullptr));
    if (closed != 0) {
        const std::string reason = sf_error_number(closed);
        discard();
        return fail(error, "cannot finish " + finalPath_ + ": " + reason);
    }
    // On disk before it takes the final name, so a crash cannot leave it empty there.
    if (::fsync(fd_) != 0 || (temporaryPath_.empty() && !nameUnnamed()) ||
        ::close(std::exchange(fd_, -1)) != 0 ||
        ::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
        const std::string reason = systemError();
        discard();
        return fail(error, "cannot finish " + finalPath_ + ": " + reason);
    }
    temporaryPath_.clear();
    return true;
}

void WavBlockWriter::discard() {
    if (file_ != nullptr) {
        sf_close(std::exchange(file_, nullptr));
    }
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
    frames_ = 0;
}

}  // namespace pelkora
