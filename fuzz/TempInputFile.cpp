#include "TempInputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "FuzzCheck.h"

namespace pelkora::fuzz {
namespace {

std::string baseDirectory() {
    struct stat info {};
    if (::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) &&
        ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// Empties the directory one level deep: the stores under test leave only
// plain files (and, after a failed write, their temporary siblings).
void removeEntries(const std::string& dir) {
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(listing);
    for (const std::string& name : names) {
        ::unlink((dir + "/" + name).c_str());
    }
}

}  // namespace

TempInputFile::TempInputFile(const std::string& name) {
    std::string pattern = baseDirectory() + "/pelkora-fuzz-XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr, "a private temporary directory can be made");
    directory_ = pattern;
    path_ = directory_ + "/" + name;
}

TempInputFile::~TempInputFile() {
    removeEntries(directory_);
    ::rmdir(directory_.c_str());
}

void TempInputFile::write(const std::string& bytes) const {
    write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void TempInputFile::write(const std::uint8_t* data, std::size_t size) const {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "the fuzzer's temporary file can be opened");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = ::write(fd, data + done, size - done);
        check(count > 0, "the fuzzer's temporary file can be written");
        done += static_cast<std::size_t>(count);
    }
    ::close(fd);
}

}  // namespace pelkora::fuzz
