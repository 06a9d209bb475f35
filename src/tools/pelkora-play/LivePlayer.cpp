#include "LivePlayer.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "EventPrinter.h"
#include "MacroChoice.h"
#include "PlayerSupport.h"
#include "core/keyer/KeyerEngine.h"
#include "core/ptt/PttPort.h"
#include "core/settings/KeyerSettings.h"
#include "platform/posix/ConfigLocation.h"
#include "platform/posix/IniFileStore.h"
#include "platform/posix/PollLoop.h"
#include "platform/posix/PortDevices.h"
#include "platform/posix/PosixSerialLines.h"
#include "platform/pulse/PulseSoundOutput.h"
#include "platform/sndfile/SndfileWavProbe.h"

namespace pelkora {

namespace {

// One live run: the loop, the keyer and what it acts through.
class LiveRun {
  public:
    explicit LiveRun(const PlayOptions& options);
    int run();

  private:
    bool openPort();
    void start();
    void checkProgress();
    void finish(int code);
    void stopEverything();
    void onSignal(int signal);
    void onServerLost(const std::string& detail);

    const PlayOptions& options_;
    PollLoop loop_;
    std::string startDir_;
    std::string settingsFile_;
    IniFileStore profiles_;
    KeyerSettings settings_;
    EventPrinter printer_;
    SndfileWavProbe probe_;
    NoBroadcast bus_;
    NoLog log_;
    PortDevices devices_;
    PosixSerialLines lines_;
    PttPort ptt_;
    std::unique_ptr<PulseSoundOutput> sound_;
    std::unique_ptr<KeyerEngine> engine_;
    int errorsAtStart_ = 0;
    bool checkPending_ = false;
    bool finished_ = false;
};

LiveRun::LiveRun(const PlayOptions& options)
    : options_(options),
      startDir_(options.iniFile ? directoryOf(*options.iniFile) : startDirectory()),
      settingsFile_(options.iniFile ? *options.iniFile : joinPath(startDir_, kSettingsFileName)),
      profiles_(startDir_),
      settings_(KeyerSettings::read(profiles_, settingsFile_, startDir_)),
      printer_(loop_, options.printEvents, loop_.nowMs()),
      devices_(profiles_, settingsFile_),
      lines_([this](const std::string& port) {
          return options_.device ? *options_.device : devices_.devicePath(port);
      }),
      ptt_(lines_, [this](const std::string& message) { printer_.onError(message); }) {}

int LiveRun::run() {
    // Signals first: the sound server's thread must inherit them blocked, so
    // that Ctrl+C reaches the loop as an event and not a sudden death.
    loop_.watchSignals({SIGINT, SIGTERM}, [this](int signal) { onSignal(signal); });
    sound_ = std::make_unique<PulseSoundOutput>(
        loop_, profiles_.readString(settingsFile_, "Sound", "Sink", ""));
    sound_->onServerLost = [this](const std::string& detail) { onServerLost(detail); };
    if (!sound_->serverAvailable()) {
        std::fprintf(stderr, "pelkora-play: Sound server not available\n");
        return LivePlayer::CannotStart;
    }
    engine_ = std::make_unique<KeyerEngine>(
        KeyerServices{loop_, *sound_, probe_, bus_, profiles_, log_, ptt_, printer_});
    if (!openPort()) {
        return LivePlayer::CannotStart;
    }
    printer_.onAnyEvent = [this] { checkProgress(); };
    start();
    const int code = loop_.run();
    stopEverything();
    ptt_.closePort();
    return code;
}

bool LiveRun::openPort() {
    ptt_.setPortNumber(options_.device ? 1 : options_.port.value_or(settings_.pttPort));
    ptt_.setLineChoice(options_.line.value_or(settings_.pttLine));
    if (ptt_.portNumber() < 1 || ptt_.portNumber() > 8) {
        return true;  // no PTT port: the keyer plays without keying anything
    }
    const int errorsBefore = printer_.errorCount();
    ptt_.OpenPort();
    if (printer_.errorCount() != errorsBefore && !ptt_.isOpen()) {
        std::fprintf(stderr, "pelkora-play: cannot key the transmitter on %s; nothing played\n",
                     options_.device
                         ? options_.device->c_str()
                         : devices_.devicePath(PttPort::portName(ptt_.portNumber())).c_str());
        return false;
    }
    return true;
}

void LiveRun::start() {
    KeyerEngine& engine = *engine_;
    engine.setExternalIni(settings_.externalIni, settings_.externalIniSection);
    engine.setSoundDir(options_.soundDir ? withTrailingSlash(*options_.soundDir)
                                         : settings_.soundDir);
    engine.setCallText(options_.call.value_or(""));
    engine.setReportText(options_.report.value_or("59"));
    if (options_.maxMs) {
        loop_.callAfter(*options_.maxMs, [this] { finish(LivePlayer::Done); });
    }
    if (options_.keyFirst) {
        engine.setTxButton(true);
    }
    engine.AddToQueue(chosenMacro(options_, settings_));
    engine.PlayStack();
    checkProgress();
}

// Looks at the keyer once the current event has been handled: done, or
// stuck waiting for a transmitter that nothing will key.
void LiveRun::checkProgress() {
    if (checkPending_ || finished_) {
        return;
    }
    checkPending_ = true;
    loop_.callAfter(0, [this] {
        checkPending_ = false;
        if (engine_->settled()) {
            finish(LivePlayer::Done);
        } else if (engine_->waitsForTransmitter()) {
            std::fprintf(stderr,
                         "pelkora-play: the queue waits for the transmitter: key it in the macro "
                         "with ~[tx] or give --tx\n");
            finish(LivePlayer::WaitsForTransmitter);
        }
    });
}

void LiveRun::finish(int code) {
    if (finished_) {
        return;
    }
    finished_ = true;
    stopEverything();
    loop_.quit(code);
}

void LiveRun::stopEverything() {
    if (!engine_) {
        return;
    }
    // As Esc does: Stop for a beacon, else cut and release; then make sure
    // nothing sounds and nothing stays keyed.
    engine_->EscapeKey();
    if (!engine_->PlayQueue().empty() || engine_->soundPlaying()) {
        engine_->ClearListButtonClick();
    }
    if (engine_->txDown()) {
        engine_->setTxButton(false);
    }
}

void LiveRun::onSignal(int signal) {
    std::fprintf(stderr, "pelkora-play: stopped by signal %d\n", signal);
    finish(LivePlayer::Interrupted + signal);
}

void LiveRun::onServerLost(const std::string& detail) {
    std::fprintf(stderr, "pelkora-play: Sound server not available: %s\n", detail.c_str());
    finish(LivePlayer::SoundServerLost);
}

}  // namespace

int LivePlayer::run(const PlayOptions& options) {
    LiveRun liveRun(options);
    return liveRun.run();
}

}  // namespace pelkora
