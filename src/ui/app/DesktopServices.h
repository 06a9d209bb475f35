#pragma once

#include <QString>
#include <functional>
#include <string>

#include "platform/MessageBus.h"
#include "platform/MixerLayer.h"
#include "platform/ProfileStore.h"
#include "platform/Scheduler.h"
#include "platform/SerialLines.h"
#include "platform/SoundOutput.h"
#include "platform/WavProbe.h"
#include "platform/posix/FileDiagnosticLog.h"

namespace pelkora {

// What the main window acts through. The program wires the real backends;
// tests wire fakes and answer the modal boxes themselves.
struct DesktopServices {
    Scheduler& scheduler;
    SoundOutput& sound;
    WavProbe& wavProbe;
    SerialLines& serialLines;
    ProfileStore& profiles;
    MessageBus& bus;
    FileDiagnosticLog& log;
    std::string startDir;     // directory of pelkora.ini, ending with "/"
    std::string programPath;  // named in the diagnostic log's first line
    // Modal boxes; empty: the standard Qt message boxes.
    std::function<void(const QString& message)> showError;
    std::function<bool()> confirmClose;
    // The sound mixers, for the line-out level; none: the bar stays dark.
    // Outlives the window.
    MixerLayer* mixer = nullptr;
    // Information boxes (one OK button); empty: the standard Qt box.
    std::function<void(const QString& message)> showInformation = {};
};

}  // namespace pelkora
