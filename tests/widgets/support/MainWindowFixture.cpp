#include "widgets/support/MainWindowFixture.h"

#include <QCoreApplication>
#include <QtTest>

namespace pelkora::test {

MainWindowFixture::MainWindowFixture()
    : dir_(QDir::tempPath() + "/pelkora-mainwindow-XXXXXX"),
      startDir_(dir_.path().toStdString() + "/") {}

MainWindowFixture::~MainWindowFixture() {
    window_.reset();
}

void MainWindowFixture::seed(const std::string& section, const std::string& key,
                             const std::string& value) {
    profiles.seed(settingsFile(), section, key, value);
}

TPelkoranForm& MainWindowFixture::build() {
    DesktopServices services{scheduler, sound,     wavProbe,           pttDevices, profiles, bus,
                             log,       startDir_, "/usr/bin/pelkora", nullptr,    nullptr,  mixer};
    services.recorders = recorders;
    services.showError = [this](const QString& message) { errors.append(message); };
    services.showInformation = [this](const QString& message) { informations.append(message); };
    services.confirmClose = [this] {
        ++closeQuestions;
        return closeAnswer;
    };
    window_ = std::make_unique<TPelkoranForm>(services);
    return *window_;
}

bool MainWindowFixture::buildShown() {
    build();
    window_->show();
    window_->activateWindow();
    const bool active = QTest::qWaitForWindowActive(window_.get());
    // The tool window is shown from the event loop once the main window is up.
    QCoreApplication::processEvents();
    return active;
}

bool MainWindowFixture::activateMainWindow() {
    window_->activateWindow();
    // QWindow counts a window active while its tool window has the focus;
    // the key handler asks the widget, which does not.
    return QTest::qWaitFor([this] { return window_->isActiveWindow(); });
}

void MainWindowFixture::addSound(const std::string& name, std::int64_t audioMs) {
    // A 16-bit 8 kHz mono file: 16000 bytes a second after a 44-byte header.
    const std::string path = soundFile(name);
    wavProbe.setFile(path, 44 + static_cast<std::uint64_t>(audioMs) * 16, 16000,
                     static_cast<double>(audioMs));
    sound.setDuration(path, audioMs);
}

QStringList MainWindowFixture::played() const {
    QStringList paths;
    for (const FakeSoundOutput::Call& call : sound.calls()) {
        if (call.what.rfind("play ", 0) == 0) {
            paths.append(QString::fromStdString(call.what));
        }
    }
    return paths;
}

}  // namespace pelkora::test
