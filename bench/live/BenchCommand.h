#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "BenchProcess.h"

namespace pelkora::bench {

// What the benchmarks share about the commands they run: how a command is
// printed (so that it can be pasted into a shell), waiting for a moment on
// the monotonic clock, and what a run's end says when it went wrong.

// The command as a shell line, words with shell characters in single quotes.
std::string commandLine(const std::vector<std::string>& argv);

// Sleeps until the given CLOCK_MONOTONIC time (seconds); returns at once when
// it has passed.
void sleepUntil(double monotonicSeconds);

// Empty when the command exited with 0; otherwise why it counts as failed.
std::string endError(const BenchProcess::Ended& ended, std::chrono::seconds timeout);

}  // namespace pelkora::bench
