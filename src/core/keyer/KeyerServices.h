#pragma once

#include "core/keyer/KeyerObserver.h"
#include "core/ptt/PttPort.h"
#include "platform/DiagnosticLog.h"
#include "platform/MessageBus.h"
#include "platform/ProfileStore.h"
#include "platform/Scheduler.h"
#include "platform/SoundOutput.h"
#include "platform/WavProbe.h"

namespace pelkora {

// Everything the keyer engine acts through; all owned by the caller and
// outliving the engine.
struct KeyerServices {
    Scheduler& scheduler;
    SoundOutput& sound;
    WavProbe& wavProbe;
    MessageBus& bus;
    ProfileStore& profiles;
    DiagnosticLog& log;
    PttPort& ptt;
    KeyerObserver& observer;
};

}  // namespace pelkora
