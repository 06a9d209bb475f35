#include "platform/posix/ConfigLocation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace pelkora {

namespace {

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

// An environment path we may build on: set, not empty, absolute.
std::optional<std::string> absoluteEnv(
    const std::function<std::optional<std::string>(const char*)>& getEnv, const char* name) {
    std::optional<std::string> value = getEnv(name);
    if (!value || !value->starts_with('/')) {
        return std::nullopt;
    }
    return value;
}

std::string withTrailingSlash(const std::string& dir) {
    return joinPath(dir, "");
}

std::string ownExecutablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};  // unknown: the current directory stands in
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.ends_with('/')) {
        return dir + name;
    }
    return dir + "/" + name;
}

std::string startDirectory(const std::string& executablePath,
                           const std::function<std::optional<std::string>(const char*)>& getEnv,
                           const std::function<bool(const std::string&)>& fileExists) {
    const std::string executableDir = directoryOf(executablePath);
    if (fileExists(executableDir + kSettingsFileName)) {
        return executableDir;
    }
    if (const auto configHome = absoluteEnv(getEnv, "XDG_CONFIG_HOME")) {
        return withTrailingSlash(joinPath(*configHome, "pelkora"));
    }
    if (const auto home = absoluteEnv(getEnv, "HOME")) {
        return withTrailingSlash(joinPath(*home, ".config/pelkora"));
    }
    return executableDir;
}

std::string directoryPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool makeDirectories(const std::string& dir) {
    const auto isDirectory = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    };
    if (dir.empty() || isDirectory(dir)) {
        return true;
    }
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string level = dir.substr(0, slash);
        if (!level.empty() && ::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    if (!isDirectory(dir)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::string startDirectory() {
    const auto getEnv = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto fileExists = [](const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    };
    return startDirectory(ownExecutablePath(), getEnv, fileExists);
}

}  // namespace pelkora
