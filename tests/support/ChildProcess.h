#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pelkora::test {

// A program running in the background with fork/exec (no shell in between, so
// macro text reaches it byte for byte), so that a test can record what it
// plays and signal it on the way, or simply run it to its end with run(). Its output waits in the
// pipes until finish(): enough for the few hundred bytes a second the player prints. Threading: one
// test thread.
class ChildProcess {
  public:
    struct Result {
        int exitCode = -1;  // 128 + signal when the child was killed
        bool timedOut = false;
        std::string out;
        std::string err;
    };

    // Starts program (a path) with args in workDir. Its environment is the
    // test's own with the NAME=value entries of environment added or replaced.
    // Throws when it cannot start.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& workDir, const std::vector<std::string>& environment);
    // Kills and reaps a child that finish() did not wait for.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs the program to its end in the test's own environment.
    static Result run(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workDir, std::chrono::milliseconds timeout);

    void signal(int number) const;
    // Reads the output until the child exits; kills it when the timeout passes first.
    Result finish(std::chrono::milliseconds timeout);

  private:
    void closePipes();

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
};

}  // namespace pelkora::test
