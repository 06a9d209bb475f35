#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pelkora::bench {

// One command run for the benchmark, with fork/exec and no shell in between.
// Its start is stamped on CLOCK_MONOTONIC right before the fork, after the
// program was looked up on PATH. Its CPU time comes from wait4 (the children
// it waited for included); its peak resident memory from VmHWM, sampled from
// exec on while it runs, because wait4's ru_maxrss still holds the forking
// parent's peak.
// Threading: one thread.
class BenchProcess {
  public:
    struct Ended {
        int exitCode = -1;      // 128 + signal when it was killed
        bool timedOut = false;  // killed at the timeout
        double cpuSeconds = 0;  // user + system
        long peakRssKb = 0;     // the last VmHWM seen, 0 when none was
    };

    // argv[0] is a path or a name on PATH; the command runs in workDir with the
    // environment of this process, its output and errors appended to logPath.
    // Returns once the command has exec'd; throws when the program is not
    // found or cannot be started.
    BenchProcess(const std::vector<std::string>& argv, const std::string& workDir,
                 const std::string& logPath);
    // Kills and reaps a command that wait() did not.
    ~BenchProcess();
    BenchProcess(const BenchProcess&) = delete;
    BenchProcess& operator=(const BenchProcess&) = delete;

    pid_t pid() const { return pid_; }
    double startedAt() const { return startedAt_; }

    // Waits for the command to end; kills it when the timeout passes first.
    Ended wait(std::chrono::milliseconds timeout);

    // The program's path: as given when it holds a slash, else found on PATH;
    // empty when there is none.
    static std::string locate(const std::string& program);

  private:
    void samplePeakRss();

    pid_t pid_ = -1;
    double startedAt_ = 0;
    long peakRssKb_ = 0;
};

}  // namespace pelkora::bench
