#include "platform/hamlib/HamlibLibrary.h"

#include <hamlib/rig.h>

#include <cstdarg>

namespace pelkora {

namespace {

int discardDebugMessage(enum rig_debug_level_e, rig_ptr_t, const char*, va_list) {
    return RIG_OK;
}

void silence() {
    rig_set_debug(RIG_DEBUG_NONE);
    rig_set_debug_callback(discardDebugMessage, nullptr);
}

}  // namespace

std::unique_lock<std::mutex> HamlibLibrary::lock() {
    static std::mutex mutex;
    std::unique_lock guard(mutex);
    static const bool silenced = (silence(), true);
    (void)silenced;
    return guard;
}

std::string HamlibLibrary::errorText(int code) {
    const char* text = rigerror2(code);
    std::string words = text != nullptr ? text : "";
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) {
        words.pop_back();
    }
    return words.empty() ? "error " + std::to_string(code) : words;
}

}  // namespace pelkora
