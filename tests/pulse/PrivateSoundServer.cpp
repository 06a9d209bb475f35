#include "pulse/PrivateSoundServer.h"

#include <signal.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace pelkora::test {

PrivateSoundServer::PrivateSoundServer() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pelkora-pulse-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    dir_ = buffer.data();
}

PrivateSoundServer::~PrivateSoundServer() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool PrivateSoundServer::installed() {
    return std::system("command -v pulseaudio >/dev/null 2>&1") == 0;
}

int PrivateSoundServer::runScript(const std::string& action) const {
    const std::string command =
        std::string("'") + PELKORA_PULSE_TEST_SERVER + "' " + action + " '" + dir_ + "'";
    return std::system(command.c_str());
}

std::string PrivateSoundServer::start() {
    if (runScript("start") != 0) {
        return "the private sound server did not start; see " + dir_ + "/server.log";
    }
    return {};
}

void PrivateSoundServer::stop() {
    runScript("stop >/dev/null 2>&1");
}

void PrivateSoundServer::kill() {
    std::ifstream pidFile(dir_ + "/server.pid");
    pid_t pid = 0;
    if (pidFile >> pid && pid > 0) {
        ::kill(pid, SIGKILL);
    }
}

}  // namespace pelkora::test
