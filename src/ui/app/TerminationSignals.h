#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <functional>

namespace pelkora {

// SIGTERM, SIGINT and SIGHUP as an orderly end of the desktop program. The
// first one is passed to the event loop through a pipe, where onSignal runs
// the same closing work as File > Exit. A second one, while that work runs or
// when the loop no longer turns, ends the program from the handler itself:
// the transmitter is released first (by default the modem lines of the open
// serial port are dropped), then _exit with 128 + that signal.
// A signal ignored when the program started (nohup, a background job of a
// shell without job control) stays ignored. The previous dispositions come
// back when the object goes.
// Threading: one at a time per process, made and destroyed on the GUI thread.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
    // What a second signal runs before the end: async-signal-safe calls only.
    using Release = void (*)() noexcept;

    explicit TerminationSignals(Release release = defaultRelease(), QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The program's status when a signal ended it, as a shell reports one.
    static constexpr int exitStatus(int signalNumber) { return 128 + signalNumber; }
    static Release defaultRelease();

    // False when the pipe could not be made: the signals keep their defaults.
    bool installed() const { return readFd_ >= 0; }

    // Called from the loop with the first signal that came. Empty: the loop
    // ends at once with exitStatus(signal).
    std::function<void(int signalNumber)> onSignal;

  private:
    void readPending();

    int readFd_ = -1;
    int writeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, kSignals.size()> previous_{};
    std::array<bool, kSignals.size()> caught_{};
};

}  // namespace pelkora
