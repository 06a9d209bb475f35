#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace pelkora::test {

// Runs a program to its end with fork/exec, no shell in between, so macro text
// reaches it byte for byte. Threading: blocks the calling thread until the
// child has exited or has been killed at the deadline.
class ChildProcess {
  public:
    struct Result {
        int exitCode = -1;  // 128 + signal when the child was killed
        bool timedOut = false;
        std::string out;
        std::string err;
    };

    // Starts program (a path) with args in workDir; throws when it cannot start.
    static Result run(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workDir, std::chrono::milliseconds timeout);
};

}  // namespace pelkora::test
