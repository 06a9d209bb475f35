#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/FakeSoundOutput.h"
#include "platform/fake/FakeWavProbe.h"
#include "platform/fake/RecordingMessageBus.h"
#include "platform/fake/VirtualScheduler.h"
#include "platform/posix/FileDiagnosticLog.h"
#include "platform/posix/SerialPttDeviceFactory.h"
#include "ui/app/TPelkoranForm.h"
#include "widgets/support/RecordingProfileStore.h"

namespace pelkora::test {

// The main window built on fakes: virtual time, recorded sound, serial lines,
// broadcasts and settings, the diagnostic log switched off, and the modal
// boxes answered by the fixture. Seed the settings before build(); the
// window is destroyed before the fakes it uses.
// Threading: GUI thread only.
class MainWindowFixture {
  public:
    MainWindowFixture();
    ~MainWindowFixture();
    MainWindowFixture(const MainWindowFixture&) = delete;
    MainWindowFixture& operator=(const MainWindowFixture&) = delete;

    // A value in pelkora.ini as it is before the program starts.
    void seed(const std::string& section, const std::string& key, const std::string& value);

    TPelkoranForm& build();
    // Builds the window, shows it, waits until the platform has activated it
    // and lets the work it queued on showing run (the tool window appears).
    // False when it was never activated.
    bool buildShown();
    // Makes the main window the active one again, as the operator's click
    // into it does, and waits for it. False when it never got active.
    bool activateMainWindow();
    TPelkoranForm& window() { return *window_; }
    void destroyWindow() { window_.reset(); }

    // The window's child of that name. None is a broken fixture, not a
    // failed check: it throws, which ends the run naming the child.
    template <class T>
    T* find(const char* objectName) const {
        T* found = window_->findChild<T*>(QString::fromLatin1(objectName));
        if (found == nullptr) {
            throw std::runtime_error(std::string("no child named ") + objectName);
        }
        return found;
    }

    const std::string& startDir() const { return startDir_; }
    std::string settingsFile() const { return startDir_ + "pelkora.ini"; }
    // A file of the default sound directory, the one macros play from.
    std::string soundFile(const std::string& name) const { return startDir_ + "sound/" + name; }
    // Makes a sound file of the default directory playable for audioMs.
    void addSound(const std::string& name, std::int64_t audioMs);
    // Every "play <path>" the sound output was asked for, in order.
    QStringList played() const;

    VirtualScheduler scheduler;
    FakeSoundOutput sound{scheduler};
    FakeWavProbe wavProbe;
    FakeSerialLines serialLines;
    // Every port is a serial port on those lines.
    SerialPttDeviceFactory pttDevices{serialLines};
    RecordingProfileStore profiles;
    RecordingMessageBus bus;
    FileDiagnosticLog log{false};

    QStringList errors;        // messages the window asked to show, in order
    QStringList informations;  // information boxes, in order
    // The sound mixers the window is built on; none: a system without them.
    MixerLayer* mixer = nullptr;
    // Makes the recorder of the operator's takes; empty: none.
    std::function<std::unique_ptr<TakeRecorder>()> recorders;
    bool closeAnswer = true;
    int closeQuestions = 0;

  private:
    QTemporaryDir dir_;
    std::string startDir_;
    std::unique_ptr<TPelkoranForm> window_;
};

}  // namespace pelkora::test
