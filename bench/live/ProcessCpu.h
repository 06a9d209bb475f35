#pragma once

#include <sys/types.h>

#include <optional>

namespace pelkora::bench {

// The CPU time a running process has used so far, all its threads, read from
// /proc. Two readings: utime + stime of /proc/PID/stat, in clock ticks (10 ms
// here), and the nanoseconds of each thread's /proc/PID/task/TID/schedstat,
// fine enough to tell 0.01 % of a core over ten seconds.
// Threading: any thread.
struct ProcessCpu {
    double wallSeconds = 0;   // CLOCK_MONOTONIC when read
    double tickSeconds = 0;   // utime + stime
    double schedSeconds = 0;  // sum over the live threads

    // Empty when the process is gone or has exited (a zombie).
    static std::optional<ProcessCpu> read(pid_t pid);

    // Share of one core used between two readings, in percent.
    static double tickPercent(const ProcessCpu& from, const ProcessCpu& to);
    static double schedPercent(const ProcessCpu& from, const ProcessCpu& to);
};

}  // namespace pelkora::bench
