#include "platform/hamlib/PortProbe.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelkora {

namespace {

// strerror()'s words with a lower-case start, to follow a colon.
std::string errorWords(int error) {
    std::string words = std::strerror(error);
    if (!words.empty() && words[0] >= 'A' && words[0] <= 'Z') {
        words[0] = static_cast<char>(words[0] - 'A' + 'a');
    }
    return words;
}

// 0 when connected, else the errno that stopped it (ETIMEDOUT: no answer).
int connectWithin(const addrinfo& address, std::chrono::milliseconds timeout) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd watch{fd, POLLOUT, 0};
            const int ready = ::poll(&watch, 1, static_cast<int>(timeout.count()));
            socklen_t length = sizeof(error);
            if (ready <= 0) {
                error = ETIMEDOUT;
            } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                error = errno;
            }
        }
    }
    ::close(fd);
    return error;
}

}  // namespace

std::string probeTcpServer(const std::string& host, int port,
                           std::chrono::milliseconds connectTimeout) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const int lookup =
        ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses);
    if (lookup != 0) {
        return "the host name is not known (" + std::string(::gai_strerror(lookup)) + ")";
    }
    int error = ECONNREFUSED;
    for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        error = connectWithin(*address, connectTimeout);
        if (error == 0) {
            break;
        }
    }
    ::freeaddrinfo(addresses);
    if (error == 0) {
        return {};
    }
    if (error == ETIMEDOUT) {
        const auto ms = connectTimeout.count();
        return "no connection within " +
               (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
    }
    return errorWords(error);
}

std::string probeDevice(const std::string& path) {
    // O_NONBLOCK: a serial port without carrier would otherwise block here.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return path + " cannot be opened: " + errorWords(errno);
    }
    const bool isTerminal = ::isatty(fd) != 0;
    ::close(fd);
    return isTerminal ? std::string() : path + " is not a serial port";
}

std::string probeHidraw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::string words = path + " cannot be opened: " + errorWords(error);
        if (error == EACCES) {
            words += " (the interface needs a udev rule giving your user write access)";
        }
        return words;
    }
    hidraw_devinfo info{};
    const bool isHidraw = ::ioctl(fd, HIDIOCGRAWINFO, &info) == 0;
    ::close(fd);
    if (!isHidraw) {
        return path + " is not a hidraw device (a CM108 interface shows as /dev/hidrawN)";
    }
    return {};
}

}  // namespace pelkora
