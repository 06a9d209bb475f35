#pragma once

#include <string_view>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/RemoteHost.h"

namespace pelkora {

// Expands a macro for a remote caller as a key press does: the spelling
// commands read the call sign and report that the window's fields hold now.
void queueRemoteMacro(KeyerEngine& engine, RemoteHost& host, std::string_view macro);

}  // namespace pelkora
