#include "core/keyer/BeaconMode.h"

#include <utility>

#include "core/keyer/BeaconCommand.h"
#include "core/keyer/QueueEntry.h"
#include "core/text/TextRules.h"

namespace pelkora {

namespace {
const char* const kSyntaxError = "Wrong ~[rp] command syntax!";
const char* const kNormalCaption = "Pelkora";
const char* const kBeaconCaption = "Pelkora: Beacon mode";
}  // namespace

BeaconMode::BeaconMode(BeaconHost& host, Scheduler& scheduler)
    : host_(host),
      scheduler_(scheduler),
      timer3_(scheduler, IntervalTimer::ZeroInterval::NeverTicks, [this] { Timer3Timer(); }) {}

BeaconMode::~BeaconMode() {
    cancelWait();
}

void BeaconMode::start() {
    const BeaconCommand command = BeaconCommand::parse(host_.queueEntry(host_.queueSize() - 1));
    // A good interval stays in force even when the count after it is bad.
    if (command.intervalMs) {
        timer3_.setInterval(*command.intervalMs);
    }
    if (!command.valid()) {
        host_.reportError(kSyntaxError);
        return;
    }
    beaconRepeats_ = *command.count;
    if (!host_.readyToPlay()) {
        return;  // the entries stay queued; nothing is said
    }
    host_.setCaption(kBeaconCaption);
    host_.setStopEnabled(true);
    running_ = true;
    if (beaconDone_ == 0 && !beaconBusy_) {
        repetitionNumber_ = 0;
        startTimer3WhenDone_ = true;
        Timer3Timer();
        return;
    }
    timer3_.start();
}

void BeaconMode::Timer3Timer() {
    if (phase_ == Phase::Entries) {
        // A tick while a repetition is still sending its entries would start a
        // second one on top of it; the running one restarts Timer3 when done.
        return;
    }
    cancelWait();
    beaconBusy_ = true;
    if (host_.queueSize() == 0 || !host_.queueEndsWithBeacon()) {
        phase_ = Phase::Idle;
        beaconBusy_ = false;
        return;
    }
    startedAt_ = scheduler_.nowMs();
    timer3WasRunning_ = timer3_.enabled();
    timer3_.stop();
    phase_ = Phase::Entries;
    index_ = 0;
    count_ = host_.queueSize();
    waitingForSound_ = false;
    host_.reportRepetition(++repetitionNumber_);
    host_.setDisplay(beaconText_);
    host_.setTransmit(true);
    waitingForKeying_ = host_.keyingUnsettled();
    if (!waitingForKeying_) {
        advance();
    }
}

void BeaconMode::advance() {
    // Every entry but the last (the beacon entry itself), without removing any
    // and without looking at the player's ready flag.
    while (phase_ == Phase::Entries && index_ + 1 < count_) {
        if (index_ >= host_.queueSize()) {
            abandonRepetition();  // the queue was emptied under us
            return;
        }
        const std::string entry = host_.queueEntry(index_++);
        const std::string upper = toUpperAscii(trimBlanks(entry));
        if (!containsText(upper, "~[P")) {
            if (host_.playEntry(entry)) {
                waitingForSound_ = true;
                return;
            }
            continue;
        }
        if (beginPause(upper, trimBlanks(entry))) {
            return;
        }
    }
    if (phase_ == Phase::Entries) {
        finishRepetition();
    }
}

bool BeaconMode::beginPause(const std::string& upperEntry, std::string_view entry) {
    if (upperEntry == "~[P]") {
        waitMs(1000);
        return wait_ != 0;
    }
    // Inside a repetition the number counts milliseconds, not tens of them.
    const auto ms = parseDecimalInt32(QueueEntry::pauseArgument(upperEntry));
    if (!ms) {
        host_.reportError(notAnIntegerMessage(QueueEntry::pauseArgument(entry)));
        abandonRepetition();
        return true;
    }
    waitMs(*ms);
    return wait_ != 0;
}

void BeaconMode::waitMs(std::int64_t ms) {
    host_.reportPause(ms);
    if (ms <= 0) {
        return;
    }
    wait_ = scheduler_.callAfter(ms, [this] {
        wait_ = 0;
        advance();
    });
}

void BeaconMode::keyingSettled() {
    if (phase_ == Phase::Entries && waitingForKeying_) {
        waitingForKeying_ = false;
        advance();
    }
}

void BeaconMode::soundEnded() {
    if (phase_ == Phase::Entries && waitingForSound_) {
        waitingForSound_ = false;
        advance();
    }
}

void BeaconMode::finishRepetition() {
    if (beaconRepeats_ > 0) {
        countRepetition();
    } else {
        host_.setDisplay("");
        host_.releaseAfterTail();
        timer3_.start();
    }
    if (!timer3WasRunning_) {
        completeRepetition();
        return;
    }
    // Hold the busy mark for as long again as the repetition took; a Timer3
    // tick that falls due meanwhile starts the next repetition.
    phase_ = Phase::TailWait;
    wait_ = scheduler_.callAfter(scheduler_.nowMs() - startedAt_, [this] {
        wait_ = 0;
        completeRepetition();
    });
}

void BeaconMode::countRepetition() {
    ++beaconDone_;
    if (beaconDone_ < beaconRepeats_) {
        host_.releaseAfterTail();
        host_.setDisplay("");
        timer3_.start();
        return;
    }
    endBeacon();
}

void BeaconMode::endBeacon() {
    beaconDone_ = 0;
    host_.releaseAfterTail();
    beaconText_.clear();
    host_.clearQueue();
    host_.setDisplay("");
    host_.setStopEnabled(false);
    timer3_.stop();
    host_.setCaption(kNormalCaption);
    running_ = false;
}

void BeaconMode::completeRepetition() {
    phase_ = Phase::Idle;
    beaconBusy_ = false;
    if (startTimer3WhenDone_) {
        startTimer3WhenDone_ = false;
        if (running_) {
            timer3_.start();
        }
    }
}

void BeaconMode::abandonRepetition() {
    // The repetition cannot go on (queue emptied, bad pause): it ends here,
    // the transmitter is not left keyed, and Timer3 stays stopped so the same
    // fault does not come round again; Stop ends the beacon.
    cancelWait();
    phase_ = Phase::Idle;
    waitingForSound_ = false;
    waitingForKeying_ = false;
    startTimer3WhenDone_ = false;
    beaconBusy_ = false;
    releaseTransmitter();
}

void BeaconMode::StopButtonClick() {
    cancelWait();
    phase_ = Phase::Idle;
    waitingForSound_ = false;
    waitingForKeying_ = false;
    startTimer3WhenDone_ = false;
    beaconBusy_ = false;
    beaconDone_ = 0;
    host_.setTransmit(false);
    host_.clearQueue();
    host_.setStopEnabled(false);
    timer3_.stop();
    host_.setCaption(kNormalCaption);
    running_ = false;
}

void BeaconMode::releaseTransmitter() {
    if (host_.transmitting()) {
        host_.setTransmit(false);
    }
}

void BeaconMode::cancelWait() {
    if (wait_ != 0) {
        scheduler_.cancel(wait_);
        wait_ = 0;
    }
}

}  // namespace pelkora
