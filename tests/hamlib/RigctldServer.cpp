#include "hamlib/RigctldServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace pelkora::test {

namespace {

sockaddr_in localhost(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = localhost(0);
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool acceptsConnections(int port, int timeoutMs) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = localhost(port);
    bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd watch{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof(error);
        connected = ::poll(&watch, 1, timeoutMs) == 1 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

RigctldServer::~RigctldServer() {
    stop();
}

std::string RigctldServer::findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

std::string RigctldServer::start() {
    const std::string program = findProgram("rigctld");
    if (program.empty()) {
        return "rigctld is not installed";
    }
    // Another process may take the port between the choice and rigctld's
    // bind; a second choice makes that unlikely enough.
    for (int attempt = 0; attempt < 2; ++attempt) {
        port_ = freeTcpPort();
        process_ = std::make_unique<ChildProcess>(
            program, std::vector<std::string>{"-m", "1", "-P", "RIG", "-t", std::to_string(port_)},
            "/tmp", std::vector<std::string>{});
        for (int wait = 0; wait < 100; ++wait) {
            if (acceptsConnections(port_, 100)) {
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        stop();
    }
    return "rigctld did not start listening";
}

void RigctldServer::stop() {
    if (process_) {
        process_->signal(SIGTERM);
        process_->finish(std::chrono::seconds(5));
        process_.reset();
    }
}

std::string RigctldServer::rigctl(const std::string& command) const {
    std::vector<std::string> args{"-m", "2", "-r", "localhost:" + std::to_string(port_)};
    std::istringstream words(command);
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    const auto result =
        ChildProcess::run(findProgram("rigctl"), args, "/tmp", std::chrono::seconds(10));
    return result.exitCode == 0 ? result.out : std::string("failed");
}

std::optional<bool> RigctldServer::pttAsRigctlSees() const {
    const std::string answer = rigctl("t");
    if (answer.starts_with("0")) {
        return false;
    }
    if (answer.starts_with("1")) {
        return true;
    }
    return std::nullopt;
}

bool RigctldServer::setPttWithRigctl(bool on) const {
    return rigctl(on ? "T 1" : "T 0") != "failed";
}

SilentTcpServer::SilentTcpServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = localhost(0);
    socklen_t length = sizeof(address);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::listen(fd_, 16) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port_ = ntohs(address.sin_port);
    }
}

SilentTcpServer::~SilentTcpServer() {
    ::close(fd_);
}

}  // namespace pelkora::test
