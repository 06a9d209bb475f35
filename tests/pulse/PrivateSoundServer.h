#pragma once

#include <string>

namespace pelkora::test {

// The private sound server of scripts/pulse-test-server.sh, with its files in
// a fresh temporary folder that goes away with it.
class PrivateSoundServer {
  public:
    PrivateSoundServer();
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    static bool installed();

    // Empty on success, otherwise what went wrong.
    std::string start();
    void stop();
    // SIGKILL, as when the server crashes.
    void kill();

    // What PULSE_SERVER must hold for clients to reach it.
    std::string address() const { return "unix:" + dir_ + "/native"; }
    const std::string& dir() const { return dir_; }

  private:
    int runScript(const std::string& action) const;

    std::string dir_;
};

}  // namespace pelkora::test
