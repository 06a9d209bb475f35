#pragma once

#include <cstdint>
#include <string>

namespace pelkora::test {

// The private sound server of scripts/pulse-test-server.sh or, when the
// environment holds PELKORA_SOUND_SERVER=pipewire, of
// scripts/pipewire-test-server.sh (PipeWire with its PulseAudio service), with
// its files in a fresh temporary folder that goes away with it. Either way the
// clients find a null sink named pelkora_null, the default, at 48 kHz.
// The scripts learn the test's process id (PELKORA_SERVER_OWNER), so that a
// watchdog can stop the server when a test crashes; the PipeWire one does.
class PrivateSoundServer {
  public:
    enum class Kind { PulseAudio, PipeWire, Unknown };

    PrivateSoundServer();
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // The server PELKORA_SOUND_SERVER chooses: pulseaudio (also when unset) or pipewire.
    static Kind kind();
    static bool isPipeWire() { return kind() == Kind::PipeWire; }
    // Frames of a file that may go missing on air for a reason of the server:
    // PipeWire on a loaded two-core machine now and then skips one 256-frame
    // cycle of its 48 kHz graph, a single paplay as much as our streams.
    // PulseAudio's null sink loses nothing.
    static std::int64_t toleratedDropoutFrames() { return isPipeWire() ? 256 : 0; }
    // "PulseAudio" or "PipeWire", for messages.
    static std::string name();
    // Empty when the chosen server can run here, otherwise what is missing.
    static std::string missing();
    static bool installed() { return missing().empty(); }

    // Empty on success, otherwise what went wrong.
    std::string start();
    void stop();
    // SIGKILL to the process the clients talk to, as when the server crashes.
    void kill();
    // Sends the signal to the process the clients talk to (SIGSTOP freezes it).
    void signal(int number);

    // What PULSE_SERVER must hold for clients to reach it.
    std::string address() const { return "unix:" + dir_ + "/native"; }
    const std::string& dir() const { return dir_; }

  private:
    int runScript(const std::string& action) const;

    std::string dir_;
};

}  // namespace pelkora::test
