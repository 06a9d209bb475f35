#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "core/keyer/BeaconHost.h"
#include "core/keyer/BeaconMode.h"
#include "core/keyer/DisplayText.h"
#include "core/keyer/IntervalTimer.h"
#include "core/keyer/KeyerServices.h"
#include "core/keyer/MacroSink.h"
#include "core/ptt/PttTiming.h"
#include "core/ptt/TransmitControl.h"
#include "core/ptt/TransmitHost.h"

namespace pelkora {

// The keyer: play queue, player, transmit state and beacon of the main window.
//
// Everything waits on events, never in place: the queue runner advances when
// the player becomes ready (end of an entry, transmitter keyed, pause
// released), a file entry ends when Timer1 has fallen due and its sound has
// finished, whichever is later, and a beacon repetition advances on sound and
// timer events. Operations keep the names the window uses for them.
// Threading: loop thread only; every service calls back on that thread.
class KeyerEngine : private MacroSink, private BeaconHost, private TransmitHost {
  public:
    explicit KeyerEngine(const KeyerServices& services);
    ~KeyerEngine() override;
    KeyerEngine(const KeyerEngine&) = delete;
    KeyerEngine& operator=(const KeyerEngine&) = delete;

    // Values that macro expansion reads when it runs.
    void setSoundDir(std::string dir) { soundDir_ = std::move(dir); }
    void setCallText(std::string call) { callText_ = std::move(call); }
    void setReportText(std::string report) { reportText_ = std::move(report); }
    void setExternalIni(std::string file, std::string section);
    const std::string& soundDirectory() const { return soundDir_; }
    // The [PTT] lead, tail and time-out; see TransmitControl.
    void setPttTiming(const PttTiming& timing) { transmit_.setTiming(timing); }
    const PttTiming& pttTiming() const { return transmit_.timing(); }
    void setTimeoutScheduler(Scheduler& scheduler) { transmit_.setTimeoutScheduler(scheduler); }

    // Macro expansion and the queue runner.
    void AddToQueue(std::string_view macro);
    void PlayStack();
    void PlaySound(const std::string& entry);

    // End of an entry.
    void Timer1Timer();
    void CloseRes();
    void UpdateMemo();

    // Buttons: each setter changes the button's state and runs its handler,
    // as a click does.
    void ClearListButtonClick();
    void setPauseButton(bool down);
    void PauseButtonClick();
    void setTxButton(bool down);  // the TX toggle
    void sbTXClick() { transmit_.click(); }
    void StopButtonClick() { beacon_.StopButtonClick(); }
    // The Esc key: Stop while a beacon runs; then, with the transmitter still
    // keyed, cut the sound, release it and empty the queue and the display.
    void EscapeKey();
    // Empties the play queue alone, as the window does when it closes.
    void emptyQueue() { queue_.clear(); }

    // What the logger commands. Each sets a button's state without running its
    // click operation and broadcasts nothing: the program that commanded the
    // change must not hear it back as the keyer's own.
    // Pause: Timer1 and the sound stop, the player waits. Resume: the player
    // is ready (a runner already working the queue goes on).
    void commandedPause(bool down);
    // Release: the button, its lamp and the lines only; Timer1, ReadyToPlay
    // and the queue stay, so a queue being played plays on. Key: the player is
    // also made ready, even while Pause is down.
    void commandedTransmit(bool keyed);

    // What a program that is ending does: stop a beacon, cut the sound, empty
    // the queue and release the transmitter, with its broadcasts.
    void shutdown();
    // The same after a fault (an exception that reached the top of a loop):
    // the engine may be half-way through an operation, so when the orderly
    // release fails too, the lines are dropped directly. Never throws.
    void shutdownAfterFault() noexcept;
    // Nothing can go on air: the sound server went away or stopped answering.
    // Cuts the sound, releases the transmitter and tells the observer once.
    void onSoundServerLost(const std::string& detail);
    // A stream failed while the server stayed: its entry ends as the sound
    // does; the operator is told why nothing was heard.
    void reportPlaybackError(const std::string& detail);

    // How long past a file's own length its end may be late before the sound
    // is taken as lost (a frozen or stalled sound server).
    static constexpr std::int64_t kSoundEndMarginMs = 2000;
    void Timer3Timer() { beacon_.Timer3Timer(); }

    // State, as the window shows it.
    const std::deque<std::string>& PlayQueue() const { return queue_; }
    bool ReadyToPlay() const { return readyToPlay_; }
    bool txDown() const { return transmit_.down(); }
    bool pauseDown() const { return pauseDown_; }
    std::string displayText() const { return display_.str(); }
    const std::string& caption() const { return caption_; }
    bool stopEnabled() const { return stopEnabled_; }
    const IntervalTimer& Timer1() const { return timer1_; }
    const BeaconMode& beacon() const { return beacon_; }
    // A queue runner is working the queue (it may be waiting for the player).
    bool runnerActive() const { return runnerActive_; }
    // A file entry's sound is still playing.
    bool soundPlaying() const { return fileSounding_; }
    // Nothing is queued, playing, timed or repeating: a macro has run out.
    bool settled() const;
    // The queue cannot move until somebody keys the transmitter.
    bool waitsForTransmitter() const;
    const TransmitControl& transmit() const { return transmit_; }

  private:
    // MacroSink
    std::string soundDir() const override { return soundDir_; }
    std::string callText() const override { return callText_; }
    std::string reportText() const override { return reportText_; }
    std::string externalValue(const std::string& key) override;
    void appendEntry(std::string entry) override { queue_.push_back(std::move(entry)); }
    void appendDisplay(std::string_view piece) override { display_.append(piece); }
    void clearCommand() override { ClearListButtonClick(); }
    void transmitCommand() override;
    void saveBeaconText() override { beacon_.setBeaconText(display_.str()); }

    // BeaconHost
    std::size_t queueSize() const override { return queue_.size(); }
    const std::string& queueEntry(std::size_t index) const override { return queue_[index]; }
    bool queueEndsWithBeacon() const override;
    void clearQueue() override { queue_.clear(); }
    bool readyToPlay() const override { return readyToPlay_; }
    bool transmitting() const override { return transmit_.down(); }
    void setTransmit(bool keyed) override { setTxButton(keyed); }
    void releaseAfterTail() override;
    bool keyingUnsettled() const override { return transmit_.holdsQueue(); }
    void setDisplay(const std::string& text) override;
    bool playEntry(const std::string& entry) override;
    void setCaption(const std::string& caption) override;
    void setStopEnabled(bool enabled) override;
    void reportError(const std::string& message) override { services_.observer.onError(message); }
    void reportPause(std::int64_t ms) override { services_.observer.onPause(ms); }
    void reportRepetition(int number) override { services_.observer.onBeaconRepetition(number); }

    // TransmitHost
    void keyingReady(bool commanded) override;
    void releaseStopsPlayer() override;
    void releaseUpdatesDisplay() override { UpdateMemo(); }
    void keyingSettled() override;
    void keyingFailed() override;
    void transmitTimedOut(std::int64_t seconds) override;

    void runQueue();
    void wakeRunner();
    void setReady(bool ready);
    void playFile(const std::string& path);
    void skipFile(const std::string& path, const std::string& reason);
    void armSoundWatchdog(std::int64_t soundMs);
    void cancelSoundWatchdog();
    void startPause(std::int64_t ms);
    void receive();
    void finishReceive();
    void cutSound();
    void soundFinished();
    bool nextIsPlayableFile() const;
    bool handOverToNextFile();
    void broadcast(int code) override;
    void displayChanged() { services_.observer.onDisplayTextChanged(); }

    KeyerServices services_;
    BeaconMode beacon_;
    IntervalTimer timer1_;
    TransmitControl transmit_;

    std::deque<std::string> queue_;
    DisplayText display_;
    bool readyToPlay_ = false;
    bool pauseDown_ = false;
    bool stopEnabled_ = false;
    std::string caption_ = "Pelkora";

    bool runnerActive_ = false;
    bool runnerBusy_ = false;  // inside runQueue: no nested runner
    bool expanding_ = false;
    bool keyAfterExpansion_ = false;  // a "~[tx]" met during expansion
    Scheduler::TaskId runnerWake_ = 0;
    bool fileSounding_ = false;
    bool closeResDue_ = false;  // Timer1 fell due while the file still sounded
    // The sound output kept the last file playing out: the next file goes
    // right after its last sample.
    bool followNext_ = false;
    Scheduler::TaskId beaconNotify_ = 0;
    Scheduler::TaskId soundWatchdog_ = 0;  // a file's end is overdue

    std::string soundDir_;
    std::string callText_;
    std::string reportText_ = "59";
    std::string externalIni_ = "morvel.ini";
    std::string externalSection_ = "QSO";
};

}  // namespace pelkora
