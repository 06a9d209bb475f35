#include "KeyerScript.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "FuzzCheck.h"

namespace pelkora::fuzz {
namespace {

// A timer that re-arms itself at the same instant never lets the loop move
// on. A few tasks per queue entry fall due together, so only tasks during
// which nothing plays, pauses or leaves the queue count towards this.
constexpr std::size_t kMostIdleTasksAtOneInstant = 1'000;
// Bounds the work of one input; a long beacon simply stops being followed.
// A few thousand tasks reach every state a beacon goes through; more only
// made endless beacons, which mutations breed, the bulk of the fuzzing time.
constexpr std::size_t kMostTasksPerRun = 5'000;
// Long enough for any repetition wait or pause the script can set up.
constexpr std::int64_t kRunDownMs = 24LL * 3600 * 1000;

constexpr std::size_t kLongestMacro = 512;
constexpr std::size_t kLongestField = 32;
constexpr std::int64_t kDefaultFileMs = 100;
constexpr std::uint32_t kBytesPerSecond = 16000;  // 16-bit 8 kHz mono
constexpr std::uint64_t kHeaderBytes = 44;

// The per-character recordings and a few messages, as the demo set has them.
constexpr std::array<const char*, 39> kFiles = {
    "A.wav", "B.wav", "C.wav", "D.wav", "E.wav", "F.wav", "G.wav",  "H.wav",  "I.wav",     "J.wav",
    "K.wav", "L.wav", "M.wav", "N.wav", "O.wav", "P.wav", "Q.wav",  "R.wav",  "S.wav",     "T.wav",
    "U.wav", "V.wav", "W.wav", "X.wav", "Y.wav", "Z.wav", "0.wav",  "1.wav",  "2.wav",     "3.wav",
    "4.wav", "5.wav", "6.wav", "7.wav", "8.wav", "9.wav", "cq.wav", "tu.wav", "stroke.wav"};

bool skipped(char action) {
    static const char* const skip = std::getenv("PELKORA_FUZZ_SKIP");
    return skip != nullptr && action != '\0' && std::strchr(skip, action) != nullptr;
}

std::uint64_t headerSize(std::int64_t ms) {
    return kHeaderBytes + static_cast<std::uint64_t>(ms) * kBytesPerSecond / 1000;
}

}  // namespace

KeyerScript::KeyerScript(const std::uint8_t* data, std::size_t size) : input_(data, size) {
    macro_ = input_.field('\n', kLongestMacro);
    engine_.setCallText(input_.field('\n', kLongestField));
    engine_.setReportText(input_.field('\n', kLongestField));
    engine_.setSoundDir("snd/");
    for (const char* name : kFiles) {
        setFile(std::string("snd/") + name, kDefaultFileMs, kDefaultFileMs);
    }
    menu_.initialise(1, 1);
}

void KeyerScript::setFile(const std::string& path, std::int64_t headerMs, std::int64_t soundMs) {
    probe_.setFile(path, headerSize(headerMs), kBytesPerSecond, static_cast<double>(soundMs));
    sound_.setDuration(path, soundMs);
}

std::string KeyerScript::file(std::uint8_t index) const {
    return std::string("snd/") + kFiles[index % kFiles.size()];
}

void KeyerScript::run() {
    while (!input_.atEnd() && tasksRun_ < kMostTasksPerRun) {
        perform(static_cast<char>(input_.byte()));
        checkInvariants();
    }
    shutDown();
}

void KeyerScript::perform(char action) {
    if (skipped(action)) {
        return;
    }
    switch (action) {
        case 'F':
            engine_.AddToQueue(macro_);
            engine_.PlayStack();
            return;
        case 'Q':
            engine_.AddToQueue(macro_);
            return;
        case 'R':
            engine_.PlayStack();
            return;
        case 'T':
            engine_.setTxButton(!engine_.txDown());
            return;
        case 'K':
            engine_.setTxButton(true);
            return;
        case 'P':
            engine_.setPauseButton(!engine_.pauseDown());
            return;
        case 'S':
            engine_.StopButtonClick();
            return;
        case 'E':
            engine_.EscapeKey();
            return;
        case 'C':
            engine_.ClearListButtonClick();
            return;
        case 'a':
            advanceBy(input_.byte());
            return;
        case 'A':
            advanceBy(static_cast<std::int64_t>(input_.word()) * 10);
            return;
        case 'n':
            runOneTask();
            return;
        case 'd': {
            const std::string path = file(input_.byte());
            const std::int64_t ms = input_.word();
            setFile(path, ms, ms);
            return;
        }
        case 'h': {
            const std::string path = file(input_.byte());
            probe_.setFile(path, headerSize(input_.word()), kBytesPerSecond,
                           static_cast<double>(kDefaultFileMs));
            return;
        }
        case 'u':
            sound_.setUnplayable(file(input_.byte()));
            return;
        case 'o':
            // From here on the output keeps a sound playing out for the next
            // file, as the live one does: the hand-over paths are driven too.
            sound_.allowFollowing();
            return;
        case 'l':
            sound_.setHandOverLead(input_.byte());
            return;
        case 'r':
            probe_.setFacts(file(input_.byte()),
                            WavFacts{headerSize(kDefaultFileMs), kBytesPerSecond, std::nullopt});
            return;
        case 'z':
            probe_.setFacts(file(input_.byte()),
                            WavFacts{headerSize(kDefaultFileMs), 0,
                                     static_cast<double>(kDefaultFileMs) / 1000.0});
            return;
        case 'M':
            menu_.PTTClick(PttMenu::items()[input_.byte() % PttMenu::items().size()].name);
            return;
        case 'w':
            profiles_.refuseWrites("pelkora.ini");
            return;
        default:
            return;
    }
}

// Runs the next task, checking the clock and that no timer spins in place.
bool KeyerScript::runOneTask() {
    if (!scheduler_.runNext()) {
        return false;
    }
    ++tasksRun_;
    const std::int64_t now = scheduler_.nowMs();
    check(now >= lastNow_, "virtual time never goes back");
    lastNow_ = now;
    if (now != instant_ || progress_ != lastProgress_ ||
        engine_.PlayQueue().size() != lastQueueSize_) {
        instant_ = now;
        lastProgress_ = progress_;
        lastQueueSize_ = engine_.PlayQueue().size();
        tasksAtInstant_ = 0;
    }
    check(++tasksAtInstant_ <= kMostIdleTasksAtOneInstant,
          "no timer re-arms itself at the same instant for ever");
    checkInvariants();
    return true;
}

void KeyerScript::advanceBy(std::int64_t ms) {
    const std::int64_t target = scheduler_.nowMs() + ms;
    while (scheduler_.hasPending() && scheduler_.nextDueMs() <= target &&
           tasksRun_ < kMostTasksPerRun) {
        runOneTask();
    }
    if (tasksRun_ < kMostTasksPerRun) {
        scheduler_.advanceTo(target);
        lastNow_ = target;
    }
}

// The lines of an open port are never high unless the engine has the
// transmitter keyed: a raised line the engine has forgotten is a stuck PTT.
void KeyerScript::checkInvariants() const {
    if (linesHigh()) {
        check(engine_.txDown(), "a PTT line is high only while the transmitter is keyed");
    }
}

// Only an open port's lines count: closing the device drops them (HUPCL),
// which the fake does not model.
bool KeyerScript::linesHigh() const {
    return lines_.isOpen() && (lines_.rts() || lines_.dtr());
}

void KeyerScript::shutDown() {
    if (engine_.stopEnabled()) {
        engine_.StopButtonClick();
    }
    if (engine_.txDown()) {
        engine_.setTxButton(false);
    }
    check(!engine_.txDown(), "the TX button is up after the operator released it");
    check(!linesHigh(), "the PTT lines are low after the final release");
    engine_.ClearListButtonClick();
    tasksRun_ = 0;
    const std::int64_t end = scheduler_.nowMs() + kRunDownMs;
    while (scheduler_.hasPending() && scheduler_.nextDueMs() <= end &&
           tasksRun_ < kMostTasksPerRun) {
        runOneTask();
        check(!engine_.txDown(), "nothing keys the transmitter after Stop, release and Clear");
        check(!linesHigh(), "the PTT lines stay low after the session");
    }
    check(tasksRun_ >= kMostTasksPerRun || !scheduler_.hasPending(),
          "no timer keeps running after Stop, release and Clear");
}

}  // namespace pelkora::fuzz
