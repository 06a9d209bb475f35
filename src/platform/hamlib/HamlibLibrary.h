#pragma once

#include <mutex>
#include <string>

#include "platform/hamlib/HamlibApi.h"

namespace pelkora {

// The one door to the Hamlib library, which is loaded the first time a port
// needs it. Hamlib 4.5 keeps process-wide state that is not safe to use from
// two threads at once (the list of loaded backends, the static buffer
// rigerror2() answers in), so every call into it is made while holding
// lock(). The first lock also silences Hamlib's own debug output, which would
// otherwise land on the program's stderr.
// Threading: any thread; calls are serialised, so a device that waits on a
// silent rig delays another device's calls by at most that rig's time-out.
class HamlibLibrary {
  public:
    static std::unique_lock<std::mutex> lock();

    // Why Hamlib cannot be used ("Hamlib is not installed: ..."), or empty
    // once it is loaded. The first call loads it; the answer never changes.
    static const std::string& loadFailure();

    // The library's entry points. Only when loadFailure() is empty, and with
    // lock() held.
    static const HamlibApi& api();

    // Hamlib's words for a return code, without the trailing line break
    // ("Communication timed out"). Call with lock() held. rigerror() is not
    // used: in 4.5 it appends the library's recent debug messages.
    static std::string errorText(int code);
};

}  // namespace pelkora
