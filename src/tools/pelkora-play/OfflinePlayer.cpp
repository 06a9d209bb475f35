#include "OfflinePlayer.h"

#include <cstdio>
#include <exception>
#include <string>

#include "EventPrinter.h"
#include "MacroChoice.h"
#include "PlayExit.h"
#include "PlayerSupport.h"
#include "RunVerdict.h"
#include "core/keyer/KeyerEngine.h"
#include "core/ptt/PttPort.h"
#include "core/settings/KeyerSettings.h"
#include "platform/fake/FakePttDeviceFactory.h"
#include "platform/fake/VirtualScheduler.h"
#include "platform/posix/ConfigLocation.h"
#include "platform/posix/IniFileStore.h"
#include "platform/sndfile/SndfileWavProbe.h"
#include "platform/sndfile/WavFileRenderer.h"

namespace pelkora {

namespace {

// Everything one offline run needs, wired together.
struct OfflineRig {
    explicit OfflineRig(const PlayOptions& options)
        : startDir(options.iniFile ? directoryOf(*options.iniFile) : startDirectory()),
          settingsFile(options.iniFile ? *options.iniFile : joinPath(startDir, kSettingsFileName)),
          profiles(startDir),
          printer(scheduler, options.printEvents),
          renderer(scheduler),
          ptt(devices, [this](const std::string& message) { printer.onError(message); }),
          engine(KeyerServices{scheduler, renderer, probe, bus, profiles, log, ptt, printer}) {}

    std::string startDir;
    std::string settingsFile;
    VirtualScheduler scheduler;
    IniFileStore profiles;
    EventPrinter printer;
    WavFileRenderer renderer;
    SndfileWavProbe probe;
    NoBroadcast bus;
    NoLog log;
    // Rendering to a file never touches the station's port.
    FakePttDeviceFactory devices{scheduler};
    PttPort ptt;
    KeyerEngine engine;
};

// Returns the macro to play.
std::string configure(OfflineRig& rig, const PlayOptions& options) {
    const KeyerSettings settings =
        KeyerSettings::read(rig.profiles, rig.settingsFile, rig.startDir);
    warnAboutSettings(settings, rig.settingsFile);
    rig.engine.setExternalIni(settings.externalIni, settings.externalIniSection);
    rig.engine.setSoundDir(options.soundDir ? withTrailingSlash(*options.soundDir)
                                            : settings.soundDir);
    rig.engine.setCallText(options.call.value_or(""));
    rig.engine.setReportText(options.report.value_or("59"));
    rig.engine.setPttTiming(pttTiming(rig.profiles, rig.settingsFile, options.txTimeoutSeconds));
    return chosenMacro(options, settings);
}

bool endlessBeacon(const KeyerEngine& engine) {
    return engine.beacon().running() && engine.beacon().BeaconRepeats() <= 0;
}

// Runs the loop until nothing is left to do, the bound is reached, or an
// endless beacon shows up without a bound (virtual time would never end).
RunVerdict::Ending runToTheEnd(OfflineRig& rig, const PlayOptions& options) {
    while (rig.scheduler.hasPending()) {
        // A live run does not wait for the time-out either: it ends when the
        // keyer waits for nothing else.
        if (rig.engine.transmit().timeoutArmed() && rig.scheduler.pendingCount() == 1) {
            return RunVerdict::Ending::Idle;
        }
        if (!options.maxMs && endlessBeacon(rig.engine)) {
            return RunVerdict::Ending::EndlessUnbounded;
        }
        if (options.maxMs && rig.scheduler.nextDueMs() > *options.maxMs) {
            rig.scheduler.advanceTo(*options.maxMs);
            return RunVerdict::Ending::BoundReached;
        }
        rig.scheduler.runNext();
    }
    return RunVerdict::Ending::Idle;
}

// Plays the macro to its end and finishes the rendering; the exit status.
int play(OfflineRig& rig, const PlayOptions& options) {
    const std::string macro = configure(rig, options);
    if (options.keyFirst) {
        rig.engine.setTxButton(true);
    }
    rig.engine.AddToQueue(macro);
    rig.engine.PlayStack();

    const RunVerdict verdict = RunVerdict::judge(rig.engine, runToTheEnd(rig, options));
    if (!verdict.message.empty()) {
        std::fprintf(stderr, "pelkora-play: %s\n", verdict.message.c_str());
    }
    // Whatever happened, the transmitter is not left keyed.
    rig.engine.shutdown();

    // A sound still playing at the end was cut by the release above, so the
    // last event marks the end of what went on air.
    const std::int64_t endMs = rig.printer.lastEventMs();
    std::string error;
    if (!rig.renderer.close(endMs, &error)) {
        std::fprintf(stderr, "pelkora-play: cannot write %s: %s\n", options.outputPath.c_str(),
                     error.c_str());
        return OutputFailed;
    }
    std::fprintf(stderr, "pelkora-play: wrote %s (%lld ms)\n", options.outputPath.c_str(),
                 static_cast<long long>(endMs));
    return verdict.code;
}

// An exception reached the top: nothing is keyed at a real port offline, but
// the run reports the release and the fault as a live one would.
int fault(OfflineRig& rig, const char* what) noexcept {
    rig.engine.shutdownAfterFault();
    try {
        rig.printer.onError(std::string("internal error: ") + what);
    } catch (...) {
        std::fputs("pelkora-play: internal error\n", stderr);
    }
    return InternalError;
}

}  // namespace

int OfflinePlayer::run(const PlayOptions& options) {
    OfflineRig rig(options);
    if (options.maxMs && *options.maxMs > rig.renderer.longestRenderMs()) {
        std::fprintf(stderr,
                     "pelkora-play: --max-ms %lld is longer than a WAV file can hold (%lld)\n",
                     static_cast<long long>(*options.maxMs),
                     static_cast<long long>(rig.renderer.longestRenderMs()));
        return BadArguments;
    }
    std::string error;
    if (!rig.renderer.open(options.outputPath, &error)) {
        std::fprintf(stderr, "pelkora-play: cannot write %s: %s\n", options.outputPath.c_str(),
                     error.c_str());
        return BadArguments;
    }
    try {
        return play(rig, options);
    } catch (const std::exception& failure) {
        return fault(rig, failure.what());
    } catch (...) {
        return fault(rig, "unknown exception");
    }
}

}  // namespace pelkora
