#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/app/DebugLogFormat.h"
#include "core/remote/StartSwitches.h"
#include "platform/hamlib/HamlibPttDevice.h"
#include "platform/hamlib/HamlibRigList.h"
#include "platform/live/LiveStation.h"
#include "platform/live/PulseTakeRecorder.h"
#include "platform/posix/ActivationFile.h"
#include "platform/posix/ConfigLocation.h"
#include "platform/posix/FileDiagnosticLog.h"
#include "platform/posix/PosixSerialLines.h"
#include "ui/app/FatalSignals.h"
#include "ui/app/QtScheduler.h"
#include "ui/app/TPelkoranForm.h"
#include "ui/app/TerminationSignals.h"
#include "ui/dialogs/ProgramPicture.h"
#include "ui/remote/KeyerBusService.h"

namespace {

// The volume window follows the main window by position, which Wayland does
// not let a program set: prefer X11 (XWayland) where it is there.
void preferX11() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("WAYLAND_DISPLAY") != nullptr &&
        std::getenv("DISPLAY") != nullptr) {
        setenv("QT_QPA_PLATFORM", "xcb", 0);
    }
}

// Writes the bus's activation file for this program; "" when done, else
// what stops it.
std::string registerProgram() {
    const pelkora::ActivationFile::Outcome outcome = pelkora::ActivationFile::write(
        pelkora::ActivationFile::defaultPath(), pelkora::ActivationFile::runningProgram());
    return outcome.ok()
               ? std::string()
               : std::string("Unable to register ") + pelkora::ActivationFile::kServiceName + ": " +
                     outcome.path + ": " + outcome.error;
}

// REGSERVER and UNREGSERVER: the file alone, before any window, so neither
// needs a display, and neither the sound server nor the port is touched.
int registerAndEnd(pelkora::StartSwitches::Mode mode) {
    std::string error;
    if (mode == pelkora::StartSwitches::Mode::Register) {
        error = registerProgram();
    } else {
        const pelkora::ActivationFile::Outcome outcome =
            pelkora::ActivationFile::remove(pelkora::ActivationFile::defaultPath());
        if (!outcome.ok()) {
            error = std::string("Unable to unregister ") + pelkora::ActivationFile::kServiceName +
                    ": " + outcome.path + ": " + outcome.error;
        }
    }
    if (error.empty()) {
        return EXIT_SUCCESS;
    }
    std::fprintf(stderr, "%s\n", error.c_str());
    return EXIT_FAILURE;
}

// What a second termination signal or a fatal fault releases before the end:
// what a handler can reach safely, the serial port's lines and a rigctld PTT.
void releaseTransmitterAtOnce() noexcept {
    pelkora::PosixSerialLines::dropLinesAfterFault();
    pelkora::HamlibPttDevice::releaseAfterFault();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const pelkora::StartSwitches::Plan plan =
        pelkora::StartSwitches::parse(std::span(args).subspan(args.empty() ? 0 : 1));
    if (plan.endsAtOnce) {
        return registerAndEnd(plan.mode);
    }
    // Every other start registers again, so the file follows the program
    // when it moves; a failure only costs the start on a client's call.
    const std::string registrationError = plan.registerAtStart ? registerProgram() : "";
    preferX11();
    QApplication application(argc, argv);
    // QApplication has taken the desktop's locale. Hamlib sets LC_NUMERIC to
    // "C" around each rig call, on the rig's worker thread, and then restores
    // the name it saved, which that very change has freed; and setlocale is
    // not safe beside other threads anyway. With numbers in "C" from here on
    // its switch changes nothing. Qt formats through QLocale, the settings
    // file wants "C" numbers, and the log's dates keep the desktop's LC_TIME.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Pelkora");
    QApplication::setApplicationVersion(PELKORA_VERSION);
    QGuiApplication::setDesktopFileName("pelkora");
    // The installed icon, or the one the program draws when run from a build.
    QApplication::setWindowIcon(QIcon::fromTheme("pelkora", QIcon(pelkora::programPicture(48))));

    // Caught before the port can open: from here on, a termination signal
    // ends the program through the window's own close, and a second one ends
    // it at once with the lines dropped.
    pelkora::TerminationSignals termination(releaseTransmitterAtOnce);
    // A crash while keyed: a rigctld would hold the transmitter keyed for a
    // client that is gone, so it is released before the program dies.
    pelkora::FatalSignals::install(releaseTransmitterAtOnce);

    const std::string startDir = pelkora::startDirectory();
    const std::string settingsFile = pelkora::joinPath(startDir, pelkora::kSettingsFileName);
    pelkora::QtScheduler scheduler;
    pelkora::LiveStation station(scheduler, startDir, settingsFile);
    // Built before the window, whose engine broadcasts through it, and gone
    // after it.
    pelkora::KeyerBusService bus;
    bus.setEndsWithLastObject(plan.endsWithLastObject);
    pelkora::FileDiagnosticLog log(pelkora::DebugLogFormat::isSwitchOn(args));

    // Takes come from the source the mixer shows, on the station's connection.
    const auto recorders = [&scheduler, &station,
                            settingsFile]() -> std::unique_ptr<pelkora::TakeRecorder> {
        return std::make_unique<pelkora::PulseTakeRecorder>(
            scheduler, station.soundServer,
            station.profiles.readString(settingsFile, "Sound", "Source", ""));
    };
    pelkora::TPelkoranForm window(pelkora::DesktopServices{scheduler,
                                                           station.sound,
                                                           station.probe,
                                                           station.pttDevices,
                                                           station.profiles,
                                                           bus,
                                                           log,
                                                           startDir,
                                                           args.front(),
                                                           {},
                                                           {},
                                                           station.mixer.get(),
                                                           {},
                                                           pelkora::hamlibRigModels,
                                                           recorders});
    station.attach(window.engine(), log);
    if (!registrationError.empty()) {
        log.logString("DBus", registrationError);
    }
    // Without a session bus the keyer works on alone: the log says why.
    bus.open(window.engine(), window, window, log);
    // A fault that reached the loop: nothing may stay keyed, and the operator
    // is told; the window goes on.
    scheduler.onTaskFailed = [&window](const std::string& what) { window.reportFault(what); };
    bus.onFault = [&window](const std::string& what) { window.reportFault(what); };
    window.setCloseWarning([&bus] { return bus.objects().closeNeedsWarning(); });
    // Started for a client, the keyer ends with its last object, without the
    // close confirmation: the bus has shut the engine down already, and the
    // window's destruction saves its placement and closes the port. exit,
    // not quit, which would ask the windows to close.
    bus.onLastObjectReleased = [] { QCoreApplication::exit(0); };
    // The status tells a script that a signal ended the keyer, as a shell
    // reports it; exit, not quit, so that every open box ends as well.
    termination.onSignal = [&window, &log](int signalNumber) {
        log.logString("Signal", std::string(::strsignal(signalNumber)) + ": closing");
        window.closeUnasked();
        QCoreApplication::exit(pelkora::TerminationSignals::exitStatus(signalNumber));
    };
    window.show();
    return QApplication::exec();
}
