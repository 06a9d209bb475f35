#include "pulse/RigPttWatch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "pulse/MonitorRecorder.h"

namespace pelkora::test {

namespace {

constexpr int kAnswerTimeoutMs = 2000;

}  // namespace

RigPttWatch::~RigPttWatch() {
    stop();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string RigPttWatch::start(int port, std::chrono::milliseconds period) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 ||
        ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return "cannot connect to rigctld on port " + std::to_string(port);
    }
    // One short command at a time: nothing to gain from Nagle but delay.
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (!ask().has_value()) {
        return "rigctld does not answer \"t\": " + fault();
    }
    running_ = true;
    thread_ = std::thread([this, period] { poll(period); });
    return {};
}

void RigPttWatch::stop() {
    running_ = false;
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<RigPttWatch::Sample> RigPttWatch::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::string RigPttWatch::fault() const {
    std::lock_guard lock(mutex_);
    return fault_;
}

void RigPttWatch::poll(std::chrono::milliseconds period) {
    while (running_) {
        const std::optional<bool> keyed = ask();
        if (!keyed.has_value()) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            samples_.push_back({MonitorRecorder::nowSeconds(), *keyed});
        }
        std::this_thread::sleep_for(period);
    }
}

// One "t" and its one-line answer: "0" or "1".
std::optional<bool> RigPttWatch::ask() {
    const char command[] = "t\n";
    if (::write(fd_, command, sizeof command - 1) != static_cast<ssize_t>(sizeof command - 1)) {
        std::lock_guard lock(mutex_);
        fault_ = "the connection to rigctld was lost";
        return std::nullopt;
    }
    std::string answer;
    char byte = 0;
    while (answer.size() < 64) {
        pollfd watch{fd_, POLLIN, 0};
        if (::poll(&watch, 1, kAnswerTimeoutMs) != 1 || ::read(fd_, &byte, 1) != 1) {
            break;
        }
        if (byte == '\n') {
            if (answer == "0" || answer == "1") {
                return answer == "1";
            }
            break;
        }
        answer += byte;
    }
    std::lock_guard lock(mutex_);
    fault_ = "unexpected answer \"" + answer + "\"";
    return std::nullopt;
}

std::optional<RigPttWatch::Sample> RigPttWatch::firstKeyed(const std::vector<Sample>& samples,
                                                           double from) {
    for (const Sample& sample : samples) {
        if (sample.keyed && sample.seconds >= from) {
            return sample;
        }
    }
    return std::nullopt;
}

std::optional<RigPttWatch::Sample> RigPttWatch::firstReleasedAfter(
    const std::vector<Sample>& samples, double from) {
    for (const Sample& sample : samples) {
        if (!sample.keyed && sample.seconds > from) {
            return sample;
        }
    }
    return std::nullopt;
}

}  // namespace pelkora::test
