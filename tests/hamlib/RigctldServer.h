#pragma once

#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"

namespace pelkora::test {

// A real rigctld with Hamlib's dummy rig (-m 1), started on a free TCP port
// of localhost. "-P RIG" makes the dummy rig keep and report its PTT state.
// Threading: one test thread.
class RigctldServer {
  public:
    RigctldServer() = default;
    ~RigctldServer();
    RigctldServer(const RigctldServer&) = delete;
    RigctldServer& operator=(const RigctldServer&) = delete;

    // The full path of a program on PATH; "" when it is not installed.
    static std::string findProgram(const std::string& name);
    static bool installed() { return !findProgram("rigctld").empty(); }

    // Empty once rigctld accepts connections, otherwise what went wrong.
    std::string start();
    void stop();
    int port() const { return port_; }

    // The PTT state as a second client, rigctl, reads it; nullopt when rigctl
    // failed.
    std::optional<bool> pttAsRigctlSees() const;
    // Keys or releases through rigctl, as another program sharing the rig.
    bool setPttWithRigctl(bool on) const;

  private:
    std::string rigctl(const std::string& command) const;

    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

// A free TCP port on localhost, found by letting the kernel choose one.
int freeTcpPort();

// Connects within timeoutMs: whether something listens on the port.
bool acceptsConnections(int port, int timeoutMs);

// A TCP port that accepts connections and never answers: a socket that
// listens, whose connections the kernel completes but nobody reads.
class SilentTcpServer {
  public:
    SilentTcpServer();
    ~SilentTcpServer();
    SilentTcpServer(const SilentTcpServer&) = delete;
    SilentTcpServer& operator=(const SilentTcpServer&) = delete;
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace pelkora::test
