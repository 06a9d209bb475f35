// What the keyer engine costs in processor time: macro expansion, working the
// play queue and beacon repetitions, on fakes in virtual time. Sounds last
// 0 ms and the observer and diagnostic log do nothing, so the figures are the
// engine's own bookkeeping (plus the virtual scheduler and the recording sound
// fake it is wired to), not audio.
//
// Each timed run gets a freshly built engine; building and tearing it down is
// left out of the time (manual timing), and so is writing the macro text.

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/keyer/KeyerEngine.h"
#include "core/keyer/KeyerObserver.h"
#include "core/ptt/PttPort.h"
#include "platform/posix/SerialPttDeviceFactory.h"
#include "platform/DiagnosticLog.h"
#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/FakeSoundOutput.h"
#include "platform/fake/FakeWavProbe.h"
#include "platform/fake/MemoryProfileStore.h"
#include "platform/fake/RecordingMessageBus.h"
#include "platform/fake/VirtualScheduler.h"

namespace pelkora {
namespace {

constexpr std::size_t kLongestMacro = 2047;  // the longest text a macro key holds
const char* const kSoundDir = "snd/";
const char* const kCallSign = "DL1ABC/P";  // spelled from D.wav ... stroke.wav, P.wav

class DroppingLog : public DiagnosticLog {
  public:
    void logString(const std::string& /*name*/, const std::string& /*value*/) override {}
};

// One keyer engine on fakes. Every sound file it knows has a canonical
// 44-byte header at 44.1 kHz stereo and no audio, so each entry ends at once
// in virtual time.
struct Rig {
    Rig() {
        engine.setSoundDir(kSoundDir);
        engine.setCallText(kCallSign);
        for (const char* name :
             {"1.wav", "D.wav", "L.wav", "A.wav", "B.wav", "C.wav", "P.wav", "stroke.wav"}) {
            probe.setFile(std::string(kSoundDir) + name, 44, 176'400, 0.0);
        }
    }

    VirtualScheduler scheduler;
    FakeSoundOutput sound{scheduler};
    FakeWavProbe probe;
    RecordingMessageBus bus;
    MemoryProfileStore profiles;
    DroppingLog log;
    FakeSerialLines lines;
    KeyerObserver observer;  // every method does nothing
    SerialPttDeviceFactory devices{lines};
    PttPort ptt{devices, [](const std::string&) {}};
    KeyerEngine engine{KeyerServices{scheduler, sound, probe, bus, profiles, log, ptt, observer}};
};

// Repeats piece after head for as long as a whole piece still fits in
// length, then pads with blanks (a word without a command does nothing).
std::string fillMacro(std::string_view head, std::string_view piece, std::size_t length) {
    std::string macro(head);
    while (macro.size() + piece.size() <= length) {
        macro += piece;
    }
    macro.append(length - macro.size(), ' ');
    return macro;
}

std::string repeatMacro(std::string_view head, std::string_view piece, std::int64_t times,
                        std::string_view tail = {}) {
    std::string macro(head);
    for (std::int64_t i = 0; i < times; ++i) {
        macro += piece;
    }
    macro += tail;
    return macro;
}

// Processor time of this thread: the machine may be busy with other work,
// and wall-clock time would charge its time slices to the engine.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// What one timed run did: how many queue entries (or repetitions) it handled,
// and whether the engine did what the macro asked.
struct RunResult {
    std::int64_t items = 0;
    bool ok = false;
};

// Runs work on a fresh rig per iteration, timing only work, and reports the
// processor time per item as "ns_per_<itemName>". A run that did not do what
// it should stops the benchmark: a fast wrong engine is no result.
template <typename Work>
void timeRuns(benchmark::State& state, const char* itemName, Work work) {
    double seconds = 0.0;
    std::int64_t items = 0;
    for (auto _ : state) {
        auto rig = std::make_unique<Rig>();
        const double start = threadSeconds();
        const RunResult result = work(*rig);
        const double took = threadSeconds() - start;
        state.SetIterationTime(took);
        if (!result.ok) {
            state.SkipWithError("the engine did not play the macro as written");
            return;
        }
        seconds += took;
        items += result.items;
    }
    state.SetItemsProcessed(items);
    state.counters[std::string("ns_per_") + itemName] =
        items == 0 ? 0.0 : seconds * 1e9 / static_cast<double>(items);
}

// ------------------------------------------------------------------ expansion

void expandLongMacro(benchmark::State& state, const std::string& macro) {
    timeRuns(state, "entry", [&macro](Rig& rig) {
        rig.engine.AddToQueue(macro);
        const auto entries = static_cast<std::int64_t>(rig.engine.PlayQueue().size());
        return RunResult{entries, entries > 0};
    });
}

void BM_ExpandFiles(benchmark::State& state) {
    expandLongMacro(state, fillMacro("", "~[f1.wav]", kLongestMacro));
}

void BM_ExpandMixed(benchmark::State& state) {
    expandLongMacro(state, fillMacro("", "~[f1.wav]~[ec]~[p5]", kLongestMacro));
}

// --------------------------------------------------------------- queue runner

// Keys the transmitter, queues the macro and plays it to the end.
RunResult playQueue(Rig& rig, const std::string& macro, std::int64_t entries, std::size_t files) {
    rig.engine.AddToQueue(macro);
    rig.engine.PlayStack();
    rig.scheduler.runUntilIdle();
    const bool ok = rig.engine.PlayQueue().empty() && rig.sound.finished().size() == files;
    return RunResult{entries, ok};
}

void BM_PlayFiles(benchmark::State& state) {
    const std::int64_t entries = state.range(0);
    const std::string macro = repeatMacro("~[tx]", "~[f1.wav]", entries);
    timeRuns(state, "entry", [&](Rig& rig) {
        return playQueue(rig, macro, entries, static_cast<std::size_t>(entries));
    });
    state.SetComplexityN(entries);
}

void BM_PlayFilesAndPauses(benchmark::State& state) {
    const std::int64_t entries = state.range(0);
    const std::string macro = repeatMacro("~[tx]", "~[f1.wav]~[p5]", entries / 2);
    timeRuns(state, "entry", [&](Rig& rig) {
        return playQueue(rig, macro, entries, static_cast<std::size_t>(entries / 2));
    });
    state.SetComplexityN(entries);
}

// --------------------------------------------------------------------- beacon

// A hundred files repeated as a beacon every 10 ms, N times.
void BM_Beacon(benchmark::State& state) {
    constexpr std::int64_t kEntries = 100;
    const std::int64_t repetitions = state.range(0);
    const std::string macro =
        repeatMacro("~[tx]", "~[f1.wav]", kEntries, "~[rp10:" + std::to_string(repetitions) + "]");
    timeRuns(state, "repetition", [&](Rig& rig) {
        rig.engine.AddToQueue(macro);
        rig.engine.PlayStack();
        rig.scheduler.runUntilIdle();
        const bool ok =
            !rig.engine.beacon().running() &&
            rig.sound.finished().size() == static_cast<std::size_t>(kEntries * repetitions);
        return RunResult{repetitions, ok};
    });
    state.SetComplexityN(repetitions);
}

BENCHMARK(BM_ExpandFiles)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandMixed)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayFiles)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_PlayFilesAndPauses)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_Beacon)
    ->RangeMultiplier(10)
    ->Range(10, 1'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace pelkora

BENCHMARK_MAIN();
