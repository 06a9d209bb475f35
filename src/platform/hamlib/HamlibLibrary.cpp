#include "platform/hamlib/HamlibLibrary.h"

#include <dlfcn.h>

#include <cstdarg>

namespace pelkora {

namespace {

struct LoadedLibrary {
    HamlibApi api;
    std::string failure;
};

// Fills one entry point; false (with dlerror's reason kept) when missing.
template <typename Function>
bool find(void* handle, const char* name, Function& entry, std::string& failure) {
    entry = reinterpret_cast<Function>(::dlsym(handle, name));
    if (entry == nullptr && failure.empty()) {
        failure = "Hamlib (" PELKORA_HAMLIB_SONAME ") lacks " + std::string(name) + ".";
    }
    return entry != nullptr;
}

LoadedLibrary load() {
    LoadedLibrary loaded;
    // Never closed: Hamlib keeps backends and handlers registered for the
    // life of the process.
    void* handle = ::dlopen(PELKORA_HAMLIB_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        loaded.failure = "Hamlib is not installed (" +
                         std::string(reason != nullptr ? reason : PELKORA_HAMLIB_SONAME) +
                         "); install it to key through rigctld, CAT or a CM108.";
        return loaded;
    }
    HamlibApi& api = loaded.api;
    std::string& failure = loaded.failure;
    find(handle, "rig_init", api.init, failure);
    find(handle, "rig_open", api.open, failure);
    find(handle, "rig_close", api.close, failure);
    find(handle, "rig_cleanup", api.cleanup, failure);
    find(handle, "rig_set_ptt", api.setPtt, failure);
    find(handle, "rig_token_lookup", api.tokenLookup, failure);
    find(handle, "rig_set_conf", api.setConf, failure);
    find(handle, "rig_check_backend", api.checkBackend, failure);
    find(handle, "rig_get_caps", api.getCaps, failure);
    find(handle, "rig_load_all_backends", api.loadAllBackends, failure);
    find(handle, "rig_list_foreach", api.listForeach, failure);
    find(handle, "rig_set_debug", api.setDebug, failure);
    find(handle, "rig_set_debug_callback", api.setDebugCallback, failure);
    find(handle, "rigerror2", api.errorText, failure);
    return loaded;
}

const LoadedLibrary& library() {
    static const LoadedLibrary loaded = load();
    return loaded;
}

int discardDebugMessage(enum rig_debug_level_e, rig_ptr_t, const char*, va_list) {
    return RIG_OK;
}

bool silence() {
    if (!library().failure.empty()) {
        return false;
    }
    library().api.setDebug(RIG_DEBUG_NONE);
    library().api.setDebugCallback(discardDebugMessage, nullptr);
    return true;
}

}  // namespace

std::unique_lock<std::mutex> HamlibLibrary::lock() {
    static std::mutex mutex;
    std::unique_lock guard(mutex);
    static const bool silenced = silence();
    (void)silenced;
    return guard;
}

const std::string& HamlibLibrary::loadFailure() {
    return library().failure;
}

const HamlibApi& HamlibLibrary::api() {
    return library().api;
}

std::string HamlibLibrary::errorText(int code) {
    const char* text = api().errorText != nullptr ? api().errorText(code) : nullptr;
    std::string words = text != nullptr ? text : "";
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) {
        words.pop_back();
    }
    return words.empty() ? "error " + std::to_string(code) : words;
}

}  // namespace pelkora
