#include "hamlib/FakeKenwoodRadio.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace pelkora::test {

FakeKenwoodRadio::FakeKenwoodRadio() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        return;
    }
    device_ = ::ptsname(master_);
    thread_ = std::thread([this] { serve(); });
}

FakeKenwoodRadio::~FakeKenwoodRadio() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

std::vector<std::string> FakeKenwoodRadio::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

bool FakeKenwoodRadio::received(const std::string& command) const {
    const auto all = commands();
    return std::find(all.begin(), all.end(), command) != all.end();
}

void FakeKenwoodRadio::serve() {
    std::string command;
    while (!stopping_) {
        pollfd watch{master_, POLLIN, 0};
        char c = 0;
        if (::poll(&watch, 1, 50) <= 0 || ::read(master_, &c, 1) != 1) {
            continue;
        }
        if (c != ';') {
            command += c;
            continue;
        }
        command += c;
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
        }
        if (command == "TX;") {
            transmitting_ = true;
        } else if (command == "RX;") {
            transmitting_ = false;
        }
        if (!silent_) {
            answer(command);
        }
        command.clear();
    }
}

// The queries Hamlib's Kenwood backend makes while opening and keying; set
// commands (TX, RX, AI0) are not answered, as on the radio.
void FakeKenwoodRadio::answer(const std::string& command) {
    static const std::map<std::string, std::string> answers = {
        {"ID;", "ID019;"},
        {"PS;", "PS1;"},
        {"AI;", "AI0;"},
        {"FA;", "FA00014195000;"},
        {"FB;", "FB00014195000;"},
        {"MD;", "MD2;"},
        {"IF;", "IF00014195000     +00000000002000000 ;"},
    };
    const auto found = answers.find(command);
    if (found != answers.end()) {
        const std::string& reply = found->second;
        [[maybe_unused]] const auto written = ::write(master_, reply.data(), reply.size());
    }
}

}  // namespace pelkora::test
