#include "platform/posix/PosixSerialLines.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace pelkora {

namespace {

// The open port as a fault handler sees it: plain atomics, lock-free, so a
// handler may read them whatever the program was doing.
std::atomic<int> portForFaults{-1};
std::atomic<bool> exclusiveForFaults{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// Whether another open of the terminal has already made it exclusive.
// Root passes TIOCEXCL unchecked, so ask rather than rely on open() failing.
bool heldExclusiveByOther(int fd) {
    int exclusive = 0;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// The name of the group that owns path; "" when it cannot be told.
std::string owningGroup(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->gr_name;
}

}  // namespace

std::string PosixSerialLines::describeOpenFailure(const std::string& device, int errorNumber,
                                                  const std::string& groupName) {
    switch (errorNumber) {
        case EACCES:
        case EPERM:
            if (groupName == "root") {
                return "Only root may open " + device +
                       ": a udev rule must give the device to a group you are in, such as "
                       "dialout.";
            }
            if (groupName.empty()) {
                return "You may not open " + device +
                       ": your user must be in the group that owns the device, then log out and "
                       "in again.";
            }
            return "You may not open " + device + ": your user must be in the group \"" +
                   groupName + "\" (sudo usermod -aG " + groupName +
                   " $USER), then log out and in again.";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return device + " does not exist: the interface is not plugged in.";
        case EBUSY:
            return "Another program holds " + device + ": close it, or choose another port.";
        case ENOTTY:
        case EINVAL:
            return device + " is not a serial port.";
        default:
            return device + ": " + std::strerror(errorNumber) + ".";
    }
}

PosixSerialLines::PosixSerialLines(DeviceResolver deviceForPort)
    : deviceForPort_(std::move(deviceForPort)) {}

PosixSerialLines::~PosixSerialLines() {
    close();
}

SerialLines::OpenStatus PosixSerialLines::open(const std::string& portName) {
    close();
    failureReason_.clear();
    const std::string path = deviceForPort_ ? deviceForPort_(portName) : std::string();
    if (path.empty()) {
        failureReason_ = "No device is set for \"" + portName + "\".";
        return OpenStatus::CannotOpen;
    }
    return openDevice(path);
}

// Notes the operator's words for a failed open, while errno and the device's
// owner still tell what went wrong.
SerialLines::OpenStatus PosixSerialLines::fail(OpenStatus status, const std::string& path,
                                               int errorNumber) {
    const bool permission = errorNumber == EACCES || errorNumber == EPERM;
    failureReason_ =
        describeOpenFailure(path, errorNumber, permission ? owningGroup(path) : std::string());
    return status;
}

SerialLines::OpenStatus PosixSerialLines::openDevice(const std::string& path) {
    // O_NONBLOCK: a port without carrier and without CLOCAL would otherwise
    // block the open until DCD rises.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(OpenStatus::CannotOpen, path, errno);
    }
    setExclusive_ = false;
    if (!claimExclusively(fd)) {
        closeDevice(fd);
        return fail(OpenStatus::CannotOpen, path, EBUSY);
    }
    if (!isSerialPort(fd) || !hangUpOnClose(fd)) {
        const int error = errno;
        closeDevice(fd);
        return fail(OpenStatus::NotASerialPort, path, error);
    }
    fd_ = fd;
    exclusiveForFaults = setExclusive_;
    portForFaults = fd;
    return OpenStatus::Opened;
}

// False only when another program holds the port. The flock comes first so
// that TIOCEXCL is never set on a terminal somebody else is using. Failures
// that say nothing about other holders (ENOTTY on a plain file, a file system
// without locks) are left to the serial-port check that follows.
bool PosixSerialLines::claimExclusively(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        return false;
    }
    if (heldExclusiveByOther(fd)) {
        return false;
    }
    setExclusive_ = ::ioctl(fd, TIOCEXCL) == 0;
    return true;
}

// Reading the settings and writing the very same settings back proves the
// device is a terminal that accepts them, without changing anything.
bool PosixSerialLines::isSerialPort(int fd) {
    termios settings{};
    return ::tcgetattr(fd, &settings) == 0 && ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Whatever ends the program, the last close of the port then lowers its
// modem lines: the kernel's own guard against a transmitter left keyed.
bool PosixSerialLines::hangUpOnClose(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    if ((settings.c_cflag & HUPCL) != 0) {
        return true;
    }
    settings.c_cflag |= HUPCL;
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

void PosixSerialLines::close() {
    if (fd_ < 0) {
        return;
    }
    portForFaults = -1;
    closeDevice(std::exchange(fd_, -1));
}

void PosixSerialLines::dropLinesAfterFault() noexcept {
    const int fd = portForFaults.load();
    if (fd < 0) {
        return;
    }
    int bits = TIOCM_RTS | TIOCM_DTR;
    ::ioctl(fd, TIOCMBIC, &bits);
    if (exclusiveForFaults.load()) {
        ::ioctl(fd, TIOCNXCL);
    }
}

// The exclusive flag lives on the terminal, not on our descriptor: when
// another opener keeps the terminal alive it would outlast us and lock
// everyone out, so it is cleared before the descriptor goes.
void PosixSerialLines::closeDevice(int fd) {
    if (setExclusive_) {
        ::ioctl(fd, TIOCNXCL);
        setExclusive_ = false;
    }
    ::close(fd);
}

bool PosixSerialLines::setLine(Line line, bool raised) {
    if (fd_ < 0) {
        return false;
    }
    int bit = line == Line::Rts ? TIOCM_RTS : TIOCM_DTR;
    return ::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

}  // namespace pelkora
