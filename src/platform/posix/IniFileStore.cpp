#include "platform/posix/IniFileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/settings/ByteSource.h"
#include "core/settings/IniEdit.h"
#include "core/settings/IniLineReader.h"
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

// A file read front to back in blocks.
class FileSource : public ByteSource {
  public:
    explicit FileSource(int fd) : fd_(fd) {}
    std::optional<std::size_t> read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t count = ::read(fd_, buffer, size);
            if (count >= 0) {
                return static_cast<std::size_t>(count);
            }
            if (errno != EINTR) {
                return std::nullopt;
            }
        }
    }

  private:
    int fd_;
};

bool writeAll(int fd, const char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = ::write(fd, bytes + done, size - done);
        if (count < 0 && errno != EINTR) {
            return false;
        }
        if (count > 0) {
            done += static_cast<std::size_t>(count);
        }
    }
    return true;
}

// An existing settings file opened for reading, or why there is none.
struct OpenedFile {
    enum class Status { Open, Missing, Failed };
    Status status = Status::Failed;
    std::unique_ptr<FileDescriptor> fd;
    struct stat info {};
};

OpenedFile openRegularFile(const std::string& path) {
    OpenedFile file;
    // O_NONBLOCK: a FIFO put in the file's place must not block the keyer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        file.status = errno == ENOENT ? OpenedFile::Status::Missing : OpenedFile::Status::Failed;
        return file;
    }
    file.fd = std::make_unique<FileDescriptor>(fd);
    if (::fstat(fd, &file.info) == 0 && S_ISREG(file.info.st_mode)) {
        file.status = OpenedFile::Status::Open;
    }
    return file;
}

// Copies the bytes [from, to) of in to out; to == nullopt copies up to the
// end. The count copied, or nullopt when reading or writing failed.
std::optional<std::uint64_t> copyRange(int in, int out, std::uint64_t from,
                                       std::optional<std::uint64_t> to) {
    std::vector<char> buffer(IniLineReader::kBlockSize);
    std::uint64_t at = from;
    while (!to || at < *to) {
        const std::size_t want =
            to ? static_cast<std::size_t>(std::min<std::uint64_t>(*to - at, buffer.size()))
               : buffer.size();
        const ssize_t count = ::pread(in, buffer.data(), want, static_cast<off_t>(at));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0 && !to ? std::optional<std::uint64_t>(at - from) : std::nullopt;
        }
        if (!writeAll(out, buffer.data(), static_cast<std::size_t>(count))) {
            return std::nullopt;
        }
        at += static_cast<std::uint64_t>(count);
    }
    return at - from;
}

bool sameFileState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Writes the original with the edits applied, streaming: the file is never
// held in memory. The edits were planned on an earlier read of the same open
// file, so a file changed in between (another program writing in place)
// fails the write rather than splicing values into the wrong bytes.
bool writeEdited(int out, const OpenedFile& original, const std::vector<IniEdit>& edits) {
    if (original.status != OpenedFile::Status::Open) {
        return std::all_of(edits.begin(), edits.end(), [&](const IniEdit& edit) {
            return writeAll(out, edit.text.data(), edit.text.size());
        });
    }
    const int in = original.fd->get();
    std::uint64_t at = 0;
    for (const IniEdit& edit : edits) {
        const std::optional<std::uint64_t> copied = copyRange(in, out, at, edit.from);
        if (!copied || !writeAll(out, edit.text.data(), edit.text.size())) {
            return false;
        }
        at = edit.to;
    }
    const std::optional<std::uint64_t> tail = copyRange(in, out, at, std::nullopt);
    struct stat now {};
    return tail && ::fstat(in, &now) == 0 && sameFileState(now, original.info) &&
           at + *tail == static_cast<std::uint64_t>(original.info.st_size);
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

bool replaceFile(const std::string& target, const std::function<bool(int)>& writeContent,
                 const std::optional<struct stat>& original) {
    const std::string dir = directoryOf(target);
    std::string tempPath;
    FileDescriptor fd(createTempFile(dir, baseNameOf(target), kNewFileMode, tempPath));
    if (fd.get() < 0) {
        return false;
    }
    bool written = writeContent(fd.get()) && (!original || copyAttributes(fd.get(), *original));
    written = written && ::fsync(fd.get()) == 0;
    written = fd.close() && written;
    if (!written || ::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return false;
    }
    syncDirectory(dir);
    return true;
}

// Where the values go in the file as it is now (an empty one when missing).
std::optional<std::vector<IniEdit>> planEdits(const OpenedFile& current,
                                              const std::vector<ProfileEntry>& entries) {
    if (current.status != OpenedFile::Status::Open) {
        IniLineReader nothing{std::string_view()};
        return IniText::edits(nothing, entries);
    }
    FileSource source(current.fd->get());
    IniLineReader lines(source);
    std::vector<IniEdit> edits = IniText::edits(lines, entries);
    if (lines.failed()) {
        return std::nullopt;
    }
    return edits;
}

bool storeValues(const std::string& path, const std::vector<ProfileEntry>& entries) {
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
    const OpenedFile current = openRegularFile(*target);
    if (current.status == OpenedFile::Status::Failed) {
        return false;  // rewriting from an empty read would lose the file's other lines
    }
    const std::optional<std::vector<IniEdit>> edits = planEdits(current, entries);
    if (!edits) {
        return false;
    }
    if (current.status == OpenedFile::Status::Missing && !makeDirectories(directoryOf(*target))) {
        return false;
    }
    if (current.status == OpenedFile::Status::Open && edits->empty()) {
        return true;
    }
    return replaceFile(
        *target, [&](int out) { return writeEdited(out, current, *edits); }, original);
}

}  // namespace

IniFileStore::IniFileStore(std::string bareNameDirectory)
    : bareNameDirectory_(std::move(bareNameDirectory)) {}

std::string IniFileStore::resolve(const std::string& file) const {
    return file.find('/') == std::string::npos ? joinPath(bareNameDirectory_, file) : file;
}

std::string IniFileStore::readString(const std::string& file, const std::string& section,
                                     const std::string& key, const std::string& def) {
    const OpenedFile opened = openRegularFile(resolve(file));
    if (opened.status != OpenedFile::Status::Open) {
        return def;
    }
    // Streamed and stopped at the key: a large file costs one block of memory,
    // and keys near the top are found without reading the rest.
    FileSource source(opened.fd->get());
    IniLineReader lines(source);
    return IniText::find(lines, section, key).value_or(def);
}

void IniFileStore::writeString(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value) {
    writeStrings(file, {ProfileEntry{section, key, value}});
}

void IniFileStore::writeStrings(const std::string& file, const std::vector<ProfileEntry>& entries) {
    const std::string path = resolve(file);
    const bool storable =
        std::all_of(entries.begin(), entries.end(), [](const ProfileEntry& entry) {
            return IniText::isStorable(entry.section, entry.key, entry.value);
        });
    if (!storable || (!entries.empty() && !storeValues(path, entries))) {
        throw ProfileWriteError(path);
    }
}

}  // namespace pelkora
