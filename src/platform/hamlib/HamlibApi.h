#pragma once

#include <hamlib/rig.h>

namespace pelkora {

// The Hamlib entry points the backend calls, looked up in the library at run
// time (see HamlibLibrary): linked in, Hamlib and what it needs (libusb,
// libindiclient with its own C++ runtime, libgcrypt, ...) were loaded and
// relocated at every start of every program, several milliseconds before the
// first sound, though most stations key on a serial line and never use it.
// The types and field offsets still come from the header built against.
struct HamlibApi {
    decltype(&::rig_init) init = nullptr;
    decltype(&::rig_open) open = nullptr;
    decltype(&::rig_close) close = nullptr;
    decltype(&::rig_cleanup) cleanup = nullptr;
    decltype(&::rig_set_ptt) setPtt = nullptr;
    decltype(&::rig_token_lookup) tokenLookup = nullptr;
    decltype(&::rig_set_conf) setConf = nullptr;
    decltype(&::rig_check_backend) checkBackend = nullptr;
    decltype(&::rig_get_caps) getCaps = nullptr;
    decltype(&::rig_load_all_backends) loadAllBackends = nullptr;
    decltype(&::rig_list_foreach) listForeach = nullptr;
    decltype(&::rig_set_debug) setDebug = nullptr;
    decltype(&::rig_set_debug_callback) setDebugCallback = nullptr;
    decltype(&::rigerror2) errorText = nullptr;
};

}  // namespace pelkora
