#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ByteCursor.h"
#include "core/keyer/KeyerEngine.h"
#include "core/ptt/PttMenu.h"
#include "core/ptt/PttPort.h"
#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/FakeSoundOutput.h"
#include "platform/fake/FakeWavProbe.h"
#include "platform/fake/MemoryDiagnosticLog.h"
#include "platform/fake/MemoryProfileStore.h"
#include "platform/fake/RecordingMessageBus.h"
#include "platform/fake/VirtualScheduler.h"
#include "platform/posix/SerialPttDeviceFactory.h"

namespace pelkora::fuzz {

// Plays an operator's session against the keyer engine in virtual time and
// aborts when the engine breaks a promise the station relies on.
//
// Input: "<macro>\n<call>\n<report>\n<script>". The script is one letter per
// operator action, some followed by argument bytes:
//   F fire the macro (queue + play)   Q queue it only    R play the queue
//   T TX toggle   K key TX (even when keyed, as a logger's command may)
//   P Pause toggle   S Stop   E Esc   C Clear
//   a<b> advance b ms   A<hi><lo> advance 10 x that many ms   n run one task
//   d<f><hi><lo> file f sounds and is timed for that many ms
//   h<f><hi><lo> file f's header alone says that many ms
//   u<f> the sound output refuses file f   r<f> file f cannot be decoded
//   z<f> file f's header has no rate       M<i> click PTT menu item i
//   w the settings file refuses writes from now on
//   o the sound output keeps a sound playing out for the next file from now on
//   l<b> the sound output asks to be offered the next file b ms sooner
// Other bytes are ignored, and so are the letters listed in the environment
// variable PELKORA_FUZZ_SKIP, to look past a known finding until it is fixed.
// The run ends as an operator ends a session: Stop, TX released, Clear; the
// loop then runs down.
class KeyerScript : private KeyerObserver {
  public:
    KeyerScript(const std::uint8_t* data, std::size_t size);
    void run();

  private:
    // KeyerObserver: what counts as the session moving on.
    void onPlayFile(const std::string&) override { ++progress_; }
    void onSkipFile(const std::string&, const std::string&) override { ++progress_; }
    void onPause(std::int64_t) override { ++progress_; }
    void onBeaconRepetition(int) override { ++progress_; }

    void perform(char action);
    void advanceBy(std::int64_t ms);
    bool runOneTask();
    void checkInvariants() const;
    bool linesHigh() const;
    void shutDown();
    std::string file(std::uint8_t index) const;
    void setFile(const std::string& path, std::int64_t headerMs, std::int64_t soundMs);

    ByteCursor input_;
    std::string macro_;
    std::int64_t lastNow_ = 0;
    std::int64_t instant_ = 0;
    std::size_t tasksAtInstant_ = 0;
    std::size_t tasksRun_ = 0;
    std::size_t progress_ = 0;
    std::size_t lastProgress_ = 0;
    std::size_t lastQueueSize_ = 0;

    VirtualScheduler scheduler_;
    FakeSoundOutput sound_{scheduler_};
    FakeWavProbe probe_;
    RecordingMessageBus bus_;
    MemoryProfileStore profiles_;
    MemoryDiagnosticLog log_;
    FakeSerialLines lines_;
    SerialPttDeviceFactory devices_{lines_};
    PttPort ptt_{devices_, [](const std::string&) {}};
    PttMenu menu_{ptt_, profiles_, [] { return std::string("pelkora.ini"); },
                  [](const std::string&) {}};
    KeyerEngine engine_{
        KeyerServices{scheduler_, sound_, probe_, bus_, profiles_, log_, ptt_, *this}};
};

}  // namespace pelkora::fuzz
