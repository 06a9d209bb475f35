#include "platform/posix/ActivationFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/posix/ConfigLocation.h"

namespace pelkora {

namespace {

std::optional<std::string> absoluteEnv(
    const std::function<std::optional<std::string>(const char*)>& getEnv, const char* name) {
    std::optional<std::string> value = getEnv(name);
    if (!value || !value->starts_with('/')) {
        return std::nullopt;
    }
    return value;
}

std::string reason(int error) {
    return std::strerror(error);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The temporary file beside target, filled and flushed; "" with errno set
// when any step failed (nothing is left behind then).
std::string writeTemporary(const std::string& target, const std::string& text) {
    std::string name = target + ".XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        return {};
    }
    name.assign(buffer.data());
    // Read by the bus daemon, which may run as the same user only, but a
    // service file is ordinary data.
    const bool written = ::fchmod(fd, 0644) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int error = written ? errno : writeError;
        ::unlink(name.c_str());
        errno = error;
        return {};
    }
    return name;
}

}  // namespace

std::string ActivationFile::path(
    const std::function<std::optional<std::string>(const char*)>& getEnv) {
    std::string dataHome;
    if (const auto xdg = absoluteEnv(getEnv, "XDG_DATA_HOME")) {
        dataHome = *xdg;
    } else if (const auto home = absoluteEnv(getEnv, "HOME")) {
        dataHome = joinPath(*home, ".local/share");
    } else {
        return {};
    }
    return joinPath(joinPath(dataHome, "dbus-1/services"), std::string(kServiceName) + ".service");
}

std::string ActivationFile::execWord(const std::string& word) {
    static constexpr std::string_view kPlain =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+,:@=";
    if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        // The bus daemon reads the line as a key file value, where "\\"
        // stands for a backslash, then splits it as a shell does.
        if (c == '\'') {
            quoted += "'\"'\"'";
        } else if (c == '\\') {
            quoted += "\\\\";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string ActivationFile::contents(const std::string& executable) {
    return std::string("[D-BUS Service]\nName=") + kServiceName + "\nExec=" + execWord(executable) +
           " " + kAutomationSwitch + "\n";
}

ActivationFile::Outcome ActivationFile::write(const std::string& file,
                                              const std::string& executable) {
    Outcome outcome{file, {}};
    if (file.empty()) {
        outcome.error = "neither XDG_DATA_HOME nor HOME names a directory";
        return outcome;
    }
    // A line break would end the Exec line early and start another key.
    if (executable.empty() || executable.find_first_of("\n\r") != std::string::npos) {
        outcome.error = "the program's path '" + executable + "' cannot be written in the file";
        return outcome;
    }
    if (!makeDirectories(directoryPart(file))) {
        outcome.error = reason(errno);
        return outcome;
    }
    const std::string temporary = writeTemporary(file, contents(executable));
    if (temporary.empty()) {
        outcome.error = reason(errno);
        return outcome;
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        outcome.error = reason(errno);
        ::unlink(temporary.c_str());
    }
    return outcome;
}

ActivationFile::Outcome ActivationFile::remove(const std::string& file) {
    Outcome outcome{file, {}};
    if (!file.empty() && ::unlink(file.c_str()) != 0 && errno != ENOENT) {
        outcome.error = reason(errno);
    }
    return outcome;
}

std::string ActivationFile::runningProgram() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string ActivationFile::defaultPath() {
    return path([](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value == nullptr ? std::nullopt : std::optional<std::string>(value);
    });
}

}  // namespace pelkora
