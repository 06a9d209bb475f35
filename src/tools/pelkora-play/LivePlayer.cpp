#include "LivePlayer.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "ActivityWatch.h"
#include "EventPrinter.h"
#include "MacroChoice.h"
#include "PlayExit.h"
#include "PlayerSupport.h"
#include "RunVerdict.h"
#include "SignalPolicy.h"
#include "core/keyer/KeyerEngine.h"
#include "core/ptt/PttPort.h"
#include "core/settings/KeyerSettings.h"
#include "platform/live/LiveStation.h"
#include "platform/posix/ConfigLocation.h"
#include "platform/posix/IniFileStore.h"
#include "platform/posix/PollLoop.h"

namespace pelkora {

namespace {

// One live run: the loop, the keyer and what it acts through.
class LiveRun {
  public:
    explicit LiveRun(const PlayOptions& options);
    int run();

  private:
    int play();
    void openPortThenStart();
    void portOpened(bool ok);
    std::string portDevice() const;
    std::string namingTheDevice(std::string message) const;
    void start();
    void checkProgress();
    void finish(int code, const std::string& message = {});
    void onSignal(int signal);
    int fault(const char* what) noexcept;

    const PlayOptions& options_;
    PollLoop loop_;
    std::string startDir_;
    std::string settingsFile_;
    IniFileStore profiles_;
    KeyerSettings settings_;
    EventPrinter printer_;
    NoBroadcast bus_;
    NoLog log_;
    // In this order, so that the keyer goes first and the station last.
    std::unique_ptr<LiveStation> station_;
    std::unique_ptr<PttPort> ptt_;
    std::unique_ptr<ActivityWatch> activity_;
    std::unique_ptr<KeyerEngine> engine_;
    bool started_ = false;
    bool checkPending_ = false;
    bool finished_ = false;
};

LiveRun::LiveRun(const PlayOptions& options)
    : options_(options),
      startDir_(options.iniFile ? directoryOf(*options.iniFile) : startDirectory()),
      settingsFile_(options.iniFile ? *options.iniFile : joinPath(startDir_, kSettingsFileName)),
      profiles_(startDir_),
      settings_(KeyerSettings::read(profiles_, settingsFile_, startDir_)),
      printer_(loop_, options.printEvents, loop_.nowMs()) {
    warnAboutSettings(settings_, settingsFile_);
}

int LiveRun::run() {
    // Signals first: the sound server's thread must inherit them blocked, so
    // that a stop reaches the loop as an event and not a sudden death.
    loop_.watchSignals(SignalPolicy::stopSignals(), [this](int signal) { onSignal(signal); });
    SignalPolicy::installFaultHandlers();
    try {
        return play();
    } catch (const std::exception& failure) {
        return fault(failure.what());
    } catch (...) {
        return fault("unknown exception");
    }
}

int LiveRun::play() {
    station_ = std::make_unique<LiveStation>(
        loop_, startDir_, settingsFile_, options_.portOverride(), LiveStation::MixerUse::NotNeeded);
    ptt_ = std::make_unique<PttPort>(station_->pttDevices, [this](const std::string& message) {
        printer_.onError(namingTheDevice(message));
    });
    if (!station_->sound.serverAvailable()) {
        std::fprintf(stderr, "pelkora-play: Sound server not available\n");
        return CannotStart;
    }
    activity_ = std::make_unique<ActivityWatch>(loop_, station_->sound);
    engine_ = std::make_unique<KeyerEngine>(KeyerServices{*activity_, *activity_, station_->probe,
                                                          bus_, profiles_, log_, *ptt_, printer_});
    station_->attach(*engine_, log_);
    engine_->setPttTiming(pttTiming(profiles_, settingsFile_, options_.txTimeoutSeconds));
    // The time-out runs on the loop itself, so the run still ends as soon as
    // the keyer waits for nothing else.
    engine_->setTimeoutScheduler(loop_);
    printer_.onAnyEvent = [this] { checkProgress(); };
    activity_->afterActivity = [this] { checkProgress(); };
    openPortThenStart();
    const int code = loop_.run();
    engine_->shutdown();
    ptt_->closePort();
    return code;
}

// A rig answers its open later: the macro starts once the port is in use.
void LiveRun::openPortThenStart() {
    ptt_->setPortNumber(options_.portOverride() ? 1 : options_.port.value_or(settings_.pttPort));
    ptt_->setLineChoice(options_.line.value_or(settings_.pttLine));
    if (ptt_->portNumber() < 1 || ptt_->portNumber() > 8) {
        start();  // no PTT port: the keyer plays without keying anything
        return;
    }
    ptt_->OpenPort([this](bool ok) { portOpened(ok); });
}

void LiveRun::portOpened(bool ok) {
    if (ok) {
        start();
        return;
    }
    std::fprintf(stderr, "pelkora-play: cannot key the transmitter on %s; nothing played\n",
                 EventPrinter::escaped(portDevice()).c_str());
    finish(CannotStart);
}

std::string LiveRun::portDevice() const {
    if (const auto name = options_.overrideName()) {
        return *name;
    }
    return station_->portDescription(ptt_->portNumber());
}

// The keyer's messages name the port as its menu does ("COM1"); a port given
// on the command line is named as it was given instead.
std::string LiveRun::namingTheDevice(std::string message) const {
    const auto given = options_.overrideName();
    if (!given) {
        return message;
    }
    const std::string name = PttPort::portName(ptt_->portNumber());
    for (std::size_t at = message.find(name); at != std::string::npos;
         at = message.find(name, at + given->size())) {
        message.replace(at, name.size(), *given);
    }
    return message;
}

void LiveRun::start() {
    started_ = true;
    KeyerEngine& engine = *engine_;
    engine.setExternalIni(settings_.externalIni, settings_.externalIniSection);
    engine.setSoundDir(options_.soundDir ? withTrailingSlash(*options_.soundDir)
                                         : settings_.soundDir);
    engine.setCallText(options_.call.value_or(""));
    engine.setReportText(options_.report.value_or("59"));
    if (options_.maxMs) {
        loop_.callAfter(*options_.maxMs, [this] {
            const RunVerdict verdict =
                RunVerdict::judge(*engine_, RunVerdict::Ending::BoundReached);
            finish(verdict.code, verdict.message);
        });
    }
    if (options_.keyFirst) {
        engine.setTxButton(true);
    }
    engine.AddToQueue(chosenMacro(options_, settings_));
    engine.PlayStack();
    checkProgress();
}

// Looks at the run once the current event has been handled: the sound gone,
// or the keyer waiting for nothing any more, so that it is time to judge.
void LiveRun::checkProgress() {
    if (checkPending_ || finished_ || !started_) {
        return;
    }
    checkPending_ = true;
    loop_.callAfter(0, [this] {
        checkPending_ = false;
        if (printer_.soundLost()) {
            finish(SoundServerLost);
        } else if (activity_->idle() && !ptt_->busy()) {
            const RunVerdict verdict = RunVerdict::judge(*engine_, RunVerdict::Ending::Idle);
            finish(verdict.code, verdict.message);
        }
    });
}

void LiveRun::finish(int code, const std::string& message) {
    if (finished_) {
        return;
    }
    finished_ = true;
    if (!message.empty()) {
        std::fprintf(stderr, "pelkora-play: %s\n", message.c_str());
    }
    engine_->shutdown();
    loop_.quit(code);
}

void LiveRun::onSignal(int signal) {
    std::fprintf(stderr, "pelkora-play: stopped by signal %d\n", signal);
    finish(StoppedBySignal + signal);
}

// An exception reached the top: the keyer may be half-way through anything,
// so the transmitter is released first, then the fault is told.
int LiveRun::fault(const char* what) noexcept {
    if (engine_) {
        engine_->shutdownAfterFault();
    }
    if (ptt_) {
        ptt_->closePort();
    }
    try {
        printer_.onError(std::string("internal error: ") + what);
    } catch (...) {
        std::fputs("pelkora-play: internal error\n", stderr);
    }
    return InternalError;
}

}  // namespace

int LivePlayer::run(const PlayOptions& options) {
    LiveRun liveRun(options);
    return liveRun.run();
}

}  // namespace pelkora
