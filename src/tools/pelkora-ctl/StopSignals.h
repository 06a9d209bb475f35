#pragma once

namespace pelkora {

// SIGINT and SIGTERM turned into a readable pipe, so that an event loop ends
// on them in its own time rather than in a signal handler. The previous
// handlers come back when it goes.
// Threading: one at a time per process, made and destroyed on one thread.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a signal came; -1 when the pipe could not be made.
    int readFd() const { return readFd_; }

  private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace pelkora
