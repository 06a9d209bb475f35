#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/DebugLogFormat.h"
#include "platform/posix/ConfigLocation.h"
#include "platform/posix/FileDiagnosticLog.h"
#include "platform/posix/IniFileStore.h"
#include "platform/posix/PortDevices.h"
#include "platform/posix/PosixSerialLines.h"
#include "platform/pulse/PulseSoundOutput.h"
#include "platform/sndfile/SndfileWavProbe.h"
#include "ui/app/QtScheduler.h"
#include "ui/app/TPelkoranForm.h"
#include "ui/dialogs/ProgramPicture.h"

namespace {

class NoBroadcast : public pelkora::MessageBus {
  public:
    void broadcastState(int) override {}
};

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
    pelkora::IniFileStore profiles(startDir);
    pelkora::PulseSoundOutput sound(scheduler,
                                    profiles.readString(settingsFile, "Sound", "Sink", ""));
    pelkora::SndfileWavProbe probe;
    pelkora::PortDevices devices(profiles, settingsFile);
    pelkora::PosixSerialLines lines(
        [&devices](const std::string& port) { return devices.devicePath(port); });
    NoBroadcast bus;
    pelkora::FileDiagnosticLog log(pelkora::DebugLogFormat::isSwitchOn(args));

    pelkora::TPelkoranForm window(pelkora::DesktopServices{
        scheduler, sound, probe, lines, profiles, bus, log, startDir, args.front(), {}, {}});
    sound.onServerLost = [&window](const std::string& detail) {
        // Nothing can go on air: do not leave the transmitter keyed on silence.
        if (window.engine().txDown()) {
            window.engine().setTxButton(false);
        }
        QMessageBox::warning(&window, "Error",
                             QString::fromStdString("Sound server not available: " + detail));
    };
    window.show();
    return QApplication::exec();
}
