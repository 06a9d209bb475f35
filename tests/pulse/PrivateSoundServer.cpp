#include "pulse/PrivateSoundServer.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace pelkora::test {

namespace {

const char* const kVariable = "PELKORA_SOUND_SERVER";

std::string chosenValue() {
    const char* value = std::getenv(kVariable);
    return value != nullptr ? value : "";
}

bool commandExists(const std::string& program) {
    return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

PrivateSoundServer::PrivateSoundServer() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pelkora-sound-XXXXXX";
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

PrivateSoundServer::Kind PrivateSoundServer::kind() {
    const std::string value = chosenValue();
    if (value.empty() || value == "pulseaudio") {
        return Kind::PulseAudio;
    }
    return value == "pipewire" ? Kind::PipeWire : Kind::Unknown;
}

std::string PrivateSoundServer::name() {
    switch (kind()) {
        case Kind::PulseAudio:
            return "PulseAudio";
        case Kind::PipeWire:
            return "PipeWire";
        case Kind::Unknown:
            break;
    }
    return "an unknown sound server";
}

std::string PrivateSoundServer::missing() {
    switch (kind()) {
        case Kind::PulseAudio:
            if (!commandExists("pulseaudio") || !commandExists("pactl")) {
                return "pulseaudio is not installed: the sound tests need the Debian packages "
                       "pulseaudio and pulseaudio-utils (scripts/install-deps.sh installs them)";
            }
            return {};
        case Kind::PipeWire:
            for (const char* program :
                 {"pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon", "pactl"}) {
                if (!commandExists(program)) {
                    return std::string(program) +
                           " is not installed: the sound tests on PipeWire need the Debian "
                           "packages pipewire, pipewire-bin, pipewire-pulse, wireplumber, dbus "
                           "and pulseaudio-utils (scripts/install-deps.sh installs them)";
                }
            }
            return {};
        case Kind::Unknown:
            break;
    }
    return std::string(kVariable) + " must be pulseaudio or pipewire, not '" + chosenValue() + "'";
}

int PrivateSoundServer::runScript(const std::string& action) const {
    const char* script = isPipeWire() ? PELKORA_PIPEWIRE_TEST_SERVER : PELKORA_PULSE_TEST_SERVER;
    const std::string command = "PELKORA_SERVER_OWNER=" + std::to_string(::getpid()) + " '" +
                                script + "' " + action + " '" + dir_ + "'";
    return std::system(command.c_str());
}

std::string PrivateSoundServer::start() {
    if (const std::string why = missing(); !why.empty()) {
        return why;
    }
    if (runScript("start") != 0) {
        return "the private " + name() + " server did not start; see " + dir_ + "/server.log";
    }
    return {};
}

void PrivateSoundServer::stop() {
    runScript("stop >/dev/null 2>&1");
}

void PrivateSoundServer::kill() {
    signal(SIGKILL);
}

void PrivateSoundServer::signal(int number) {
    std::ifstream pidFile(dir_ + "/server.pid");
    pid_t pid = 0;
    if (pidFile >> pid && pid > 0) {
        ::kill(pid, number);
    }
}

}  // namespace pelkora::test
