#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/DebugLogFormat.h"
#include "platform/live/LiveStation.h"
#include "platform/posix/ConfigLocation.h"
#include "platform/posix/FileDiagnosticLog.h"
#include "ui/app/QtScheduler.h"
#include "ui/app/TPelkoranForm.h"
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

}  // namespace

int main(int argc, char** argv) {
    preferX11();
    const std::vector<std::string> args(argv, argv + argc);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Pelkora");
    QApplication::setApplicationVersion(PELKORA_VERSION);
    QGuiApplication::setDesktopFileName("pelkora");
    // The installed icon, or the one the program draws when run from a build.
    QApplication::setWindowIcon(QIcon::fromTheme("pelkora", QIcon(pelkora::programPicture(48))));

    const std::string startDir = pelkora::startDirectory();
    const std::string settingsFile = pelkora::joinPath(startDir, pelkora::kSettingsFileName);
    pelkora::QtScheduler scheduler;
    pelkora::LiveStation station(scheduler, startDir, settingsFile);
    // Built before the window, whose engine broadcasts through it, and gone
    // after it.
    pelkora::KeyerBusService bus;
    pelkora::FileDiagnosticLog log(pelkora::DebugLogFormat::isSwitchOn(args));

    pelkora::TPelkoranForm window(pelkora::DesktopServices{scheduler,
                                                           station.sound,
                                                           station.probe,
                                                           station.lines,
                                                           station.profiles,
                                                           bus,
                                                           log,
                                                           startDir,
                                                           args.front(),
                                                           {},
                                                           {}});
    station.attach(window.engine(), log);
    // Without a session bus the keyer works on alone: the log says why.
    bus.open(window.engine(), window, window, log);
    // A fault that reached the loop: nothing may stay keyed, and the operator
    // is told; the window goes on.
    scheduler.onTaskFailed = [&window](const std::string& what) { window.reportFault(what); };
    bus.onFault = [&window](const std::string& what) { window.reportFault(what); };
    window.show();
    return QApplication::exec();
}
