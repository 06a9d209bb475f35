#include "platform/posix/IniFileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <utility>

#include "core/settings/IniText.h"
#include "platform/posix/ConfigLocation.h"

namespace pelkora {

namespace {

// Linux's own limit on links followed while resolving one path.
constexpr int kMaxSymlinkHops = 40;
constexpr int kMaxTempNameTries = 100;
constexpr mode_t kNewDirectoryMode = 0700;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask
constexpr mode_t kPermissionBits = 07777;

struct FileContent {
    enum class Status { Read, Missing, Failed };
    Status status = Status::Failed;
    std::string bytes;
};

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and reports the result, which matters after writing.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

bool readAll(int fd, std::string& bytes) {
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0) {
            return true;
        }
        if (count < 0 && errno != EINTR) {
            return false;
        }
        if (count > 0) {
            bytes.append(buffer, static_cast<std::size_t>(count));
        }
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno != EINTR) {
            return false;
        }
        if (count > 0) {
            done += static_cast<std::size_t>(count);
        }
    }
    return true;
}

FileContent readFile(const std::string& path) {
    FileContent content;
    // O_NONBLOCK: a FIFO put in the file's place must not block the keyer.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        content.status =
            errno == ENOENT ? FileContent::Status::Missing : FileContent::Status::Failed;
        return content;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !readAll(fd.get(), content.bytes)) {
        content.bytes.clear();
        return content;
    }
    content.status = FileContent::Status::Read;
    return content;
}

// The path a write must replace: a symlink is followed to its final target,
// even a dangling one, so the link itself survives the rename.
std::optional<std::string> followSymlinks(std::string path) {
    for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::string target(static_cast<std::size_t>(info.st_size) + 256, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(length));
        path = target.starts_with('/') ? target : joinPath(directoryOf(path), target);
    }
    return std::nullopt;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// mkdir -p: every missing level is created private to the user.
bool makeDirectories(const std::string& dir) {
    if (isDirectory(dir)) {
        return true;
    }
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string level = dir.substr(0, slash);
        if (::mkdir(level.c_str(), kNewDirectoryMode) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return isDirectory(dir);
}

// Opens a new, uniquely named file in dir; the path is returned in tempPath.
int createTempFile(const std::string& dir, const std::string& baseName, mode_t mode,
                   std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        tempPath = joinPath(dir, "." + baseName + ".tmp-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(counter++));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Gives the new file the original's permission bits and, where we may, its
// owner (only root can hand a file to someone else; for anyone else the
// owner is already right, so a refusal here changes nothing).
bool copyAttributes(int fd, const struct stat& original) {
    if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
        [[maybe_unused]] const int ignored = ::fchown(fd, original.st_uid, original.st_gid);
    }
    return ::fchmod(fd, original.st_mode & kPermissionBits) == 0;
}

// Best effort: the rename is already done; syncing the directory only makes
// it survive a power cut sooner.
void syncDirectory(const std::string& dir) {
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        ::fsync(fd.get());
    }
}

bool replaceFile(const std::string& target, const std::string& bytes,
                 const std::optional<struct stat>& original) {
    const std::string dir = directoryOf(target);
    std::string tempPath;
    FileDescriptor fd(createTempFile(dir, baseNameOf(target), kNewFileMode, tempPath));
    if (fd.get() < 0) {
        return false;
    }
    bool written = writeAll(fd.get(), bytes) && (!original || copyAttributes(fd.get(), *original));
    written = written && ::fsync(fd.get()) == 0;
    written = fd.close() && written;
    if (!written || ::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return false;
    }
    syncDirectory(dir);
    return true;
}

bool storeValue(const std::string& path, const std::string& section, const std::string& key,
                const std::string& value) {
    const std::optional<std::string> target = followSymlinks(path);
    if (!target) {
        return false;
    }
    std::optional<struct stat> original;
    struct stat info {};
    if (::stat(target->c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || ::access(target->c_str(), W_OK) != 0) {
            return false;
        }
        original = info;
    }
    const FileContent current = readFile(*target);
    if (current.status == FileContent::Status::Failed) {
        return false;  // rewriting from an empty read would lose the file's other lines
    }
    if (current.status == FileContent::Status::Missing && !makeDirectories(directoryOf(*target))) {
        return false;
    }
    const std::string updated = IniText::withValue(current.bytes, section, key, value);
    if (current.status == FileContent::Status::Read && updated == current.bytes) {
        return true;
    }
    return replaceFile(*target, updated, original);
}

}  // namespace

IniFileStore::IniFileStore(std::string bareNameDirectory)
    : bareNameDirectory_(std::move(bareNameDirectory)) {}

std::string IniFileStore::resolve(const std::string& file) const {
    return file.find('/') == std::string::npos ? joinPath(bareNameDirectory_, file) : file;
}

std::string IniFileStore::readString(const std::string& file, const std::string& section,
                                     const std::string& key, const std::string& def) {
    const FileContent content = readFile(resolve(file));
    if (content.status != FileContent::Status::Read) {
        return def;
    }
    return IniText::find(content.bytes, section, key).value_or(def);
}

void IniFileStore::writeString(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value) {
    const std::string path = resolve(file);
    if (!IniText::isStorable(section, key, value) || !storeValue(path, section, key, value)) {
        throw ProfileWriteError(path);
    }
}

}  // namespace pelkora
