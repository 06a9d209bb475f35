#include "OfflinePlayer.h"

#include <cstdio>
#include <string>

#include "EventPrinter.h"
#include "MacroChoice.h"
#include "PlayerSupport.h"
#include "core/keyer/KeyerEngine.h"
#include "core/ptt/PttPort.h"
#include "core/settings/KeyerSettings.h"
#include "platform/fake/FakeSerialLines.h"
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
          ptt(lines, [this](const std::string& message) { printer.onError(message); }),
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
    // Rendering to a file never touches the station's serial port.
    FakeSerialLines lines;
    PttPort ptt;
    KeyerEngine engine;
};

// Returns the macro to play.
std::string configure(OfflineRig& rig, const PlayOptions& options) {
    const KeyerSettings settings =
        KeyerSettings::read(rig.profiles, rig.settingsFile, rig.startDir);
    rig.engine.setExternalIni(settings.externalIni, settings.externalIniSection);
    rig.engine.setSoundDir(options.soundDir ? withTrailingSlash(*options.soundDir)
                                            : settings.soundDir);
    rig.engine.setCallText(options.call.value_or(""));
    rig.engine.setReportText(options.report.value_or("59"));
    return chosenMacro(options, settings);
}

bool endlessBeacon(const KeyerEngine& engine) {
    return engine.beacon().running() && engine.beacon().BeaconRepeats() <= 0;
}

// Runs the loop until nothing is left to do, the bound is reached, or an
// endless beacon shows up without a bound. True when the bound stopped it.
bool runLoop(OfflineRig& rig, const PlayOptions& options, bool& unboundedBeacon) {
    while (rig.scheduler.hasPending()) {
        if (!options.maxMs && endlessBeacon(rig.engine)) {
            unboundedBeacon = true;
            return false;
        }
        if (options.maxMs && rig.scheduler.nextDueMs() > *options.maxMs) {
            rig.scheduler.advanceTo(*options.maxMs);
            return true;
        }
        rig.scheduler.runNext();
    }
    return false;
}

int verdict(const OfflineRig& rig, bool boundReached, bool unboundedBeacon) {
    const KeyerEngine& engine = rig.engine;
    if (unboundedBeacon) {
        std::fprintf(stderr,
                     "pelkora-play: the beacon repeats until stopped (count 0 or less); "
                     "give a bound with --max-ms N\n");
        return OfflinePlayer::BeaconStuck;
    }
    if (boundReached) {
        return OfflinePlayer::Done;
    }
    if (engine.beacon().running()) {
        std::fprintf(stderr,
                     "pelkora-play: the beacon cannot repeat by itself (interval 0, or an "
                     "entry that could not be played); stopped\n");
        return OfflinePlayer::BeaconStuck;
    }
    if (!engine.PlayQueue().empty() && engine.txDown()) {
        std::fprintf(stderr,
                     "pelkora-play: the queue was not played out: the macro has an error "
                     "(see above)\n");
        return OfflinePlayer::MacroError;
    }
    if (!engine.PlayQueue().empty()) {
        std::fprintf(stderr,
                     "pelkora-play: the queue waits for the transmitter: key it in the macro "
                     "with ~[tx] or give --tx\n");
        return OfflinePlayer::WaitsForTransmitter;
    }
    return OfflinePlayer::Done;
}

// Whatever happened, the transmitter is not left keyed.
void releaseTransmitter(KeyerEngine& engine) {
    if (engine.stopEnabled()) {
        engine.StopButtonClick();
    } else if (engine.txDown()) {
        engine.setTxButton(false);
    }
}

}  // namespace

int OfflinePlayer::run(const PlayOptions& options) {
    OfflineRig rig(options);
    const std::string macro = configure(rig, options);
    if (options.keyFirst) {
        rig.engine.setTxButton(true);
    }
    rig.engine.AddToQueue(macro);
    rig.engine.PlayStack();

    bool unboundedBeacon = false;
    const bool boundReached = runLoop(rig, options, unboundedBeacon);
    const int code = verdict(rig, boundReached, unboundedBeacon);
    releaseTransmitter(rig.engine);

    // A sound still playing at the end was cut by the release above, so the
    // last event marks the end of what went on air.
    const std::int64_t endMs = rig.printer.lastEventMs();
    std::string error;
    if (!rig.renderer.writeWav(options.outputPath, endMs, &error)) {
        std::fprintf(stderr, "pelkora-play: cannot write %s: %s\n", options.outputPath.c_str(),
                     error.c_str());
        return OutputFailed;
    }
    std::fprintf(stderr, "pelkora-play: wrote %s (%lld ms)\n", options.outputPath.c_str(),
                 static_cast<long long>(endMs));
    return code;
}

}  // namespace pelkora
