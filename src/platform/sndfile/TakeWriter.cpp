#include "platform/sndfile/TakeWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace pelkora {
namespace {

// Room the temporary file's name needs beyond the final one: a dot, the
// process id, an attempt number and ".part".
constexpr std::size_t kTemporaryNameExtra = 24;
constexpr std::size_t kCopyBlock = 64 * 1024;

bool fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
    return false;
}

std::string systemError() {
    return std::strerror(errno);
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// As the block writer does: through a link, the file it points at is the take.
std::string targetOf(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

bool exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// A rename is on disk only once its directory is. Failing that, the take is
// still in place for every reader; only a power cut right now could undo it,
// and there is nothing left to tell the operator that would help.
void syncDirectory(const std::string& path) {
    const int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copyBytes(int from, int to) {
    std::array<char, kCopyBlock> block{};
    for (;;) {
        const ssize_t got = ::read(from, block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        if (!writeAll(to, block.data(), static_cast<std::size_t>(got))) {
            return false;
        }
    }
}

// For file systems without hard links (a FAT memory stick, some network
// shares): a copy, on disk before the take replaces the original.
bool copyFile(const std::string& from, const std::string& to) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    struct stat status {};
    const int target =
        ::fstat(source, &status) != 0
            ? -1
            : ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0777);
    bool copied = target >= 0 && copyBytes(source, target) && ::fsync(target) == 0;
    const int reason = errno;  // of the failure, for the message
    if (target >= 0) {
        copied = ::close(target) == 0 && copied;
    }
    ::close(source);
    if (!copied) {
        if (target >= 0) {
            ::unlink(to.c_str());
        }
        errno = reason;
    }
    return copied;
}

bool linksUnsupported(int error) {
    return error == EPERM || error == EXDEV || error == EOPNOTSUPP || error == EMLINK ||
           error == ENOSYS;
}

}  // namespace

std::string TakeWriter::undoPathOf(const std::string& path) {
    const std::string target = targetOf(path);
    const std::string directory = target.find('/') == std::string::npos ? "" : directoryOf(target);
    return directory + "." + nameOf(target) + ".undo";
}

bool TakeWriter::canUndo(const std::string& path) {
    return exists(undoPathOf(path));
}

bool TakeWriter::open(const std::string& path, int rate, std::string* error) {
    discard();
    if (rate < kLowestRate || rate > kHighestRate) {
        return fail(error, "a take is recorded at " + std::to_string(kLowestRate) + " to " +
                               std::to_string(kHighestRate) + " Hz, not " + std::to_string(rate) +
                               " Hz");
    }
    target_ = targetOf(path);
    const std::string name = nameOf(target_);
    const long longest = ::pathconf(directoryOf(target_).c_str(), _PC_NAME_MAX);
    if (!name.empty() && longest > 0 &&
        name.size() + kTemporaryNameExtra > static_cast<std::size_t>(longest)) {
        return fail(error,
                    "the name " + name + " is too long for a recording in " + directoryOf(target_) +
                        " (at most " +
                        std::to_string(static_cast<std::size_t>(longest) - kTemporaryNameExtra) +
                        " bytes)");
    }
    return writer_.open(target_, rate, error);
}

bool TakeWriter::write(const float* samples, std::int64_t count, std::string* error) {
    if (writer_.write(samples, count, error)) {
        return true;
    }
    discard();
    return false;
}

bool TakeWriter::truncate(std::int64_t frames, std::string* error) {
    if (writer_.truncate(frames, error)) {
        return true;
    }
    discard();
    return false;
}

bool TakeWriter::finish(std::string* error) {
    if (!writer_.isOpen()) {
        return fail(error, "no take is being recorded");
    }
    if (!keepUndoCopy(error)) {
        discard();
        return false;
    }
    if (!writer_.finish(error)) {
        return false;
    }
    syncDirectory(target_);
    return true;
}

// Made before the take replaces the file, so that whatever fails, the
// earlier take is either still under its name or in its undo copy.
bool TakeWriter::keepUndoCopy(std::string* error) const {
    const std::string undoPath = undoPathOf(target_);
    if (::unlink(undoPath.c_str()) != 0 && errno != ENOENT) {
        return fail(error, "cannot replace the undo copy " + undoPath + ": " + systemError());
    }
    if (!exists(target_)) {
        return true;  // a first take: nothing to go back to
    }
    if (::link(target_.c_str(), undoPath.c_str()) == 0 ||
        (linksUnsupported(errno) && copyFile(target_, undoPath))) {
        return true;
    }
    return fail(error, "cannot keep the earlier recording as " + undoPath + ": " + systemError());
}

bool TakeWriter::undo(const std::string& path, std::string* error) {
    const std::string target = targetOf(path);
    const std::string undoPath = undoPathOf(target);
    if (!exists(undoPath)) {
        return fail(error, "there is no earlier recording of " + path + " to go back to");
    }
    if (::rename(undoPath.c_str(), target.c_str()) != 0) {
        return fail(error,
                    "cannot put back the earlier recording of " + path + ": " + systemError());
    }
    syncDirectory(target);
    return true;
}

}  // namespace pelkora
