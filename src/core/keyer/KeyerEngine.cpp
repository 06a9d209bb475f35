#include "core/keyer/KeyerEngine.h"

#include <algorithm>
#include <utility>

#include "core/keyer/MacroExpander.h"
#include "core/keyer/QueueEntry.h"
#include "core/text/TextRules.h"

namespace pelkora {

KeyerEngine::KeyerEngine(const KeyerServices& services)
    : services_(services),
      beacon_(*this, services.scheduler),
      // A file of 0 ms or a "~[p0]" must still end: unlike a window timer
      // with interval 0, Timer1 then falls due as soon as the loop is free.
      timer1_(services.scheduler, IntervalTimer::ZeroInterval::TicksAtOnce,
              [this] { Timer1Timer(); }),
      transmit_(services.scheduler, services.ptt, services.observer, *this) {}

KeyerEngine::~KeyerEngine() {
    services_.sound.stop();
    if (runnerWake_ != 0) {
        services_.scheduler.cancel(runnerWake_);
    }
    if (beaconNotify_ != 0) {
        services_.scheduler.cancel(beaconNotify_);
    }
    cancelSoundWatchdog();
}

void KeyerEngine::setExternalIni(std::string file, std::string section) {
    externalIni_ = std::move(file);
    externalSection_ = std::move(section);
}

std::string KeyerEngine::externalValue(const std::string& key) {
    return services_.profiles.readString(externalIni_, externalSection_, key, " ");
}

// ---------------------------------------------------------------- expansion

void KeyerEngine::AddToQueue(std::string_view macro) {
    // A "~[tx]" keys once the whole macro is expanded: the work before the
    // first sound (reading the logger's file for "~[i...]", a slow disk) must
    // not hold the transmitter keyed on silence, and a macro whose expansion
    // fails keys nothing.
    expanding_ = true;
    keyAfterExpansion_ = false;
    struct ExpansionEnd {
        bool& expanding;
        ~ExpansionEnd() { expanding = false; }
    } end{expanding_};
    MacroExpander::expand(macro, *this);
    expanding_ = false;
    if (keyAfterExpansion_) {
        keyAfterExpansion_ = false;
        transmitCommand();
    }
    displayChanged();
}

void KeyerEngine::transmitCommand() {
    if (expanding_) {
        keyAfterExpansion_ = true;
        return;
    }
    if (!transmit_.down()) {
        setTxButton(true);
    }
}

// ------------------------------------------------------------- queue runner

void KeyerEngine::PlayStack() {
    if (queue_.empty()) {
        return;
    }
    if (queueEndsWithBeacon()) {
        beacon_.start();
        return;
    }
    runnerActive_ = true;
    runQueue();
}

void KeyerEngine::runQueue() {
    if (runnerBusy_) {
        return;
    }
    runnerBusy_ = true;
    // Free for the next run however this one ends, a throwing entry included.
    struct RunnerEnd {
        bool& busy;
        ~RunnerEnd() { busy = false; }
    } end{runnerBusy_};
    while (runnerActive_) {
        if (queue_.empty()) {
            runnerActive_ = false;
            followNext_ = false;
            break;
        }
        if (!readyToPlay_ || fileSounding_ || transmit_.holdsQueue()) {
            break;  // woken again when the player becomes ready or the keying settles
        }
        if (queueEndsWithBeacon()) {
            // A beacon macro was appended behind what was playing: it takes
            // over now, and a beacon entry is never played as a file.
            runnerActive_ = false;
            beacon_.start();
            break;
        }
        // Off the queue before it plays: what happens while the entry starts
        // or is reported (a Clear, a new macro) changes the queue behind it,
        // never the place of an entry that has not been played.
        const std::string head = std::move(queue_.front());
        queue_.pop_front();
        PlaySound(head);
    }
}

void KeyerEngine::wakeRunner() {
    if (runnerWake_ != 0) {
        return;
    }
    runnerWake_ = services_.scheduler.callAfter(0, [this] {
        runnerWake_ = 0;
        runQueue();
    });
}

void KeyerEngine::setReady(bool ready) {
    readyToPlay_ = ready;
    if (ready && runnerActive_ && !runnerBusy_) {
        wakeRunner();
    }
}

bool KeyerEngine::queueEndsWithBeacon() const {
    return !queue_.empty() && QueueEntry::isBeacon(queue_.back());
}

// ------------------------------------------------------------------- player

void KeyerEngine::PlaySound(const std::string& entry) {
    const QueueEntry parsed = QueueEntry::classify(entry);
    if (parsed.kind != QueueEntry::Kind::SoundFile) {
        followNext_ = false;  // a file after it starts anew
    }
    switch (parsed.kind) {
        case QueueEntry::Kind::SecondPause:
            startPause(1000);
            return;
        case QueueEntry::Kind::Receive:
            receive();
            return;
        case QueueEntry::Kind::Pause:
            startPause(static_cast<std::int64_t>(parsed.number) * 10);
            return;
        case QueueEntry::Kind::BadPause:
            // Reported once; the runner has taken the entry off the queue, so
            // the queue goes on instead of meeting the same entry until Clear.
            reportError(notAnIntegerMessage(parsed.badNumber));
            return;
        case QueueEntry::Kind::SoundFile:
            playFile(parsed.text);
            return;
    }
}

void KeyerEngine::startPause(std::int64_t ms) {
    services_.observer.onPause(ms);
    timer1_.setInterval(ms);
    timer1_.start();
    setReady(false);
}

void KeyerEngine::receive() {
    // The queue is held while a tail runs, so nothing plays after "~[rx]"
    // before the release.
    transmit_.releaseAfterTail([this] { finishReceive(); });
}

void KeyerEngine::finishReceive() {
    setTxButton(false);
    // Drop the "[RX]" piece: the first four characters and the last one.
    const std::string_view text = display_.view();
    setDisplay(text.size() <= 5 ? std::string() : std::string(text.substr(4, text.size() - 5)));
}

void KeyerEngine::playFile(const std::string& path) {
    services_.log.logString("WaveRes", path);
    const auto facts = services_.wavProbe.probe(path);
    // A file we cannot time or cannot decode is skipped at once; timing a
    // broken file from its header could hold the transmitter keyed on silence.
    if (!facts || !facts->decodedSeconds) {
        skipFile(path, "not a readable sound file");
        return;
    }
    // Started before the entry is timed: a file the sound server refuses
    // must not hold the transmitter for the length its header claims.
    auto onFinished = [this] { soundFinished(); };
    const bool following = followNext_;
    const PlayStart start = following ? services_.sound.playFollowing(path, onFinished)
                                      : services_.sound.play(path, onFinished);
    if (!start) {
        skipFile(path, start.refusal);
        return;
    }
    followNext_ = false;
    fileSounding_ = true;
    armSoundWatchdog(static_cast<std::int64_t>(*facts->decodedSeconds * 1000.0));
    std::int64_t entryMs =
        fileEntryMs(facts->sizeBytes, facts->bytesPerSecond, facts->decodedSeconds);
    if (!following && nextIsPlayableFile()) {
        entryMs = std::max<std::int64_t>(entryMs - services_.sound.handOverLeadMs(), 0);
    }
    timer1_.setInterval(entryMs);
    timer1_.start();
    services_.log.logString("WaveRes", path);
    services_.observer.onPlayFile(path);
    setReady(false);
}

void KeyerEngine::skipFile(const std::string& path, const std::string& reason) {
    services_.log.logString("Skipped", path + ": " + reason);
    services_.observer.onSkipFile(path, reason);
}

void KeyerEngine::armSoundWatchdog(std::int64_t soundMs) {
    cancelSoundWatchdog();
    soundWatchdog_ = services_.scheduler.callAfter(soundMs + kSoundEndMarginMs, [this] {
        soundWatchdog_ = 0;
        if (fileSounding_) {
            onSoundServerLost("the sound did not end in time; the sound server stopped answering");
        }
    });
}

void KeyerEngine::cancelSoundWatchdog() {
    if (soundWatchdog_ != 0) {
        services_.scheduler.cancel(soundWatchdog_);
        soundWatchdog_ = 0;
    }
}

void KeyerEngine::soundFinished() {
    cancelSoundWatchdog();
    fileSounding_ = false;
    if (closeResDue_) {
        closeResDue_ = false;
        CloseRes();
        UpdateMemo();
    }
    beacon_.soundEnded();
    if (readyToPlay_ && runnerActive_) {
        runQueue();
    }
}

void KeyerEngine::cutSound() {
    cancelSoundWatchdog();
    // Cuts a sound kept playing out for a follower as well.
    services_.sound.stop();
    closeResDue_ = false;
    followNext_ = false;
    if (!fileSounding_) {
        return;
    }
    fileSounding_ = false;
    // The beacon learns of it from the loop, after the operation that cut the
    // sound (Stop, Clear, a release) has finished changing the queue.
    if (beaconNotify_ == 0) {
        beaconNotify_ = services_.scheduler.callAfter(0, [this] {
            beaconNotify_ = 0;
            beacon_.soundEnded();
        });
    }
}

bool KeyerEngine::playEntry(const std::string& entry) {
    PlaySound(entry);
    return fileSounding_;
}

void KeyerEngine::Timer1Timer() {
    if (readyToPlay_) {
        // Nothing to end: the player was made ready while the entry waited
        // (the transmitter keyed again, Pause released). A repeating Timer1
        // would only tick on, and with a zero interval it would tick at the
        // same instant for ever.
        timer1_.stop();
        return;
    }
    if (fileSounding_) {
        // The header time is up but the sound is not: end the entry when the
        // last sample has been played, never clip it.
        timer1_.stop();
        if (handOverToNextFile()) {
            return;
        }
        closeResDue_ = true;
        return;
    }
    CloseRes();
    UpdateMemo();
}

// Only a file can take over from a file still playing out: anything else (a
// release, a pause, the end of the queue) waits for the sound to be heard to
// its end. A file that will be skipped would leave the tail with nobody
// waiting for it, so it must be one the engine can play.
bool KeyerEngine::nextIsPlayableFile() const {
    if (!runnerActive_ || queue_.empty() || queueEndsWithBeacon()) {
        return false;
    }
    const QueueEntry next = QueueEntry::classify(queue_.front());
    if (next.kind != QueueEntry::Kind::SoundFile) {
        return false;
    }
    const auto facts = services_.wavProbe.probe(next.text);
    return facts && facts->decodedSeconds;
}

// Spelled files follow each other without the silence of waiting for the
// server to report the end and of starting the next file anew: the sound
// output plays the rest of this one out and puts the next one right after
// it. The entry ends as a finished sound ends it, only without the cut.
bool KeyerEngine::handOverToNextFile() {
    if (!nextIsPlayableFile() ||
        !services_.sound.keepForFollower(QueueEntry::classify(queue_.front()).text)) {
        return false;
    }
    cancelSoundWatchdog();
    fileSounding_ = false;
    followNext_ = true;
    setReady(true);
    UpdateMemo();
    beacon_.soundEnded();
    if (readyToPlay_ && runnerActive_) {
        runQueue();
    }
    return true;
}

void KeyerEngine::CloseRes() {
    if (readyToPlay_) {
        return;
    }
    timer1_.stop();
    cutSound();
    setReady(true);
}

void KeyerEngine::UpdateMemo() {
    bool quoted = false;
    const std::size_t passes = display_.size();
    for (std::size_t pass = 0; pass < passes && !display_.empty(); ++pass) {
        if (quoted && display_.front() == '"') {
            display_.removeFront(2);  // closing quote and the space after it
            break;
        }
        if (display_.front() == '"') {
            quoted = true;
        }
        display_.removeFront(1);
        if (!quoted && !display_.empty() && display_.front() != ' ') {
            break;
        }
    }
    displayChanged();
}

void KeyerEngine::setDisplay(const std::string& text) {
    display_.assign(text);
    displayChanged();
}

// ------------------------------------------------------------------ buttons

void KeyerEngine::ClearListButtonClick() {
    queue_.clear();
    display_.clear();
    displayChanged();
    timer1_.stop();
    cutSound();
    setReady(true);
}

void KeyerEngine::setPauseButton(bool down) {
    pauseDown_ = down;
    services_.observer.onPauseButtonChanged(down);
    PauseButtonClick();
}

void KeyerEngine::PauseButtonClick() {
    if (pauseDown_) {
        timer1_.stop();
        cutSound();
        setReady(false);
        broadcast(101);
        if (transmit_.down()) {
            UpdateMemo();
        }
        return;
    }
    if (transmit_.down()) {
        setReady(true);
        PlayStack();
    }
    broadcast(100);
}

void KeyerEngine::setTxButton(bool down) {
    transmit_.setButton(down);
}

void KeyerEngine::keyingReady(bool commanded) {
    if (commanded || !pauseDown_) {
        setReady(true);
    }
}

void KeyerEngine::releaseStopsPlayer() {
    PauseButtonClick();
    timer1_.stop();
    cutSound();
    setReady(false);
}

void KeyerEngine::keyingSettled() {
    beacon_.keyingSettled();
    if (readyToPlay_ && runnerActive_) {
        runQueue();
    }
}

void KeyerEngine::releaseAfterTail() {
    transmit_.releaseAfterTail([this] { setTxButton(false); });
}

// The device could not key: the state goes back to released, as it would
// after the operator's release, and a beacon stops rather than play its
// entries unkeyed on every repetition.
void KeyerEngine::keyingFailed() {
    if (stopEnabled_) {
        StopButtonClick();
    }
    if (transmit_.down()) {
        setTxButton(false);
    }
}

// As Esc, and all of it at once: a beacon stops, the sound is cut, the
// transmitter released, and the queue and the display emptied.
void KeyerEngine::transmitTimedOut(std::int64_t seconds) {
    if (stopEnabled_) {
        StopButtonClick();
    }
    cutSound();
    if (transmit_.down()) {
        setTxButton(false);
    }
    queue_.clear();
    display_.clear();
    displayChanged();
    services_.log.logString("TxTimeout", std::to_string(seconds));
    services_.observer.onTransmitTimeout(seconds);
}

void KeyerEngine::commandedPause(bool down) {
    pauseDown_ = down;
    services_.observer.onPauseButtonChanged(down);
    if (!down) {
        setReady(true);
        return;
    }
    timer1_.stop();
    cutSound();
    setReady(false);
}

void KeyerEngine::commandedTransmit(bool keyed) {
    transmit_.command(keyed);
}

void KeyerEngine::EscapeKey() {
    if (stopEnabled_) {
        StopButtonClick();
    }
    if (stopEnabled_ || !transmit_.down()) {
        return;
    }
    cutSound();
    setTxButton(false);
    queue_.clear();
    display_.clear();
    displayChanged();
}

void KeyerEngine::shutdown() {
    if (stopEnabled_) {
        StopButtonClick();
    }
    if (!queue_.empty() || fileSounding_ || timer1_.enabled()) {
        ClearListButtonClick();
    }
    if (transmit_.down() || transmit_.tailPending()) {
        setTxButton(false);
    }
}

void KeyerEngine::shutdownAfterFault() noexcept {
    try {
        shutdown();
        return;
    } catch (...) {
        // Fall through: the lines matter more than the bookkeeping.
    }
    try {
        services_.sound.stop();
        transmit_.dropAfterFault();
    } catch (...) {
        // Nothing more can be done from here; the port's close drops the lines.
    }
}

void KeyerEngine::onSoundServerLost(const std::string& detail) {
    cutSound();
    if (transmit_.down()) {
        setTxButton(false);
    }
    services_.observer.onSoundLost(detail);
}

void KeyerEngine::reportPlaybackError(const std::string& detail) {
    services_.observer.onError("Sound output error: " + detail);
}

bool KeyerEngine::settled() const {
    return queue_.empty() && !fileSounding_ && !timer1_.enabled() && !beacon_.running() &&
           !beacon_.repetitionActive();
}

bool KeyerEngine::waitsForTransmitter() const {
    return !queue_.empty() && !transmit_.down() && !fileSounding_ && !timer1_.enabled() &&
           !beacon_.running() && !beacon_.repetitionActive();
}

void KeyerEngine::broadcast(int code) {
    services_.bus.broadcastState(code);
    services_.observer.onBroadcast(code);
}

void KeyerEngine::setCaption(const std::string& caption) {
    caption_ = caption;
    services_.observer.onCaptionChanged(caption);
}

void KeyerEngine::setStopEnabled(bool enabled) {
    stopEnabled_ = enabled;
    services_.observer.onStopEnabledChanged(enabled);
}

}  // namespace pelkora
