// The keyboard hook the keyer loads at run time: two C functions, nothing
// else visible.

#include <memory>
#include <mutex>

#include "hook/KeyWatcher.h"

#define PELKORA_HOOK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex watcherLock;
// Destroyed when the library is unloaded or the process ends: the recording
// thread stops before its code goes away.
std::unique_ptr<pelkora::hook::KeyWatcher> watcher;

}  // namespace

// Reports keys to the window until ClearHook; a second call replaces the
// first. Without a display or its RECORD extension nothing happens: a hook
// that cannot work is no error to the keyer.
PELKORA_HOOK_EXPORT void SetHook(unsigned long window) {
    try {
        const std::lock_guard lock(watcherLock);
        watcher.reset();
        watcher = pelkora::hook::KeyWatcher::start(window);
    } catch (...) {
        // No thread or no memory: the keyer goes on without the hook.
    }
}

PELKORA_HOOK_EXPORT void ClearHook(void) {
    const std::lock_guard lock(watcherLock);
    watcher.reset();
}
