#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ptt/RigModelChoice.h"
#include "platform/MessageBus.h"
#include "platform/MixerLayer.h"
#include "platform/ProfileStore.h"
#include "platform/PttDeviceFactory.h"
#include "platform/Scheduler.h"
#include "platform/SoundOutput.h"
#include "platform/TakeRecorder.h"
#include "platform/WavProbe.h"
#include "platform/posix/FileDiagnosticLog.h"

namespace pelkora {

// What the main window acts through. The program wires the real backends;
// tests wire fakes and answer the modal boxes themselves.
struct DesktopServices {
    Scheduler& scheduler;
    SoundOutput& sound;
    WavProbe& wavProbe;
    // The device behind each PTT port.
    PttDeviceFactory& pttDevices;
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
    // The radio models a CAT port can name, asked for when the Port devices
    // dialog opens; empty: the model number is typed.
    std::function<std::vector<RigModelChoice>()> rigModels = {};
    // Makes the recorder of the operator's takes, asked for at the first
    // take; empty, or none made: nothing can be recorded, and takes say why.
    std::function<std::unique_ptr<TakeRecorder>()> recorders = {};
};

}  // namespace pelkora
