#pragma once

#include <string>

#include "platform/DiagnosticLog.h"
#include "platform/MessageBus.h"

namespace pelkora {

// The player has no window to tell the logger about and keeps no
// diagnostic log: these stand in for both.
class NoBroadcast : public MessageBus {
  public:
    void broadcastState(int) override {}
};

class NoLog : public DiagnosticLog {
  public:
    void logString(const std::string&, const std::string&) override {}
};

inline std::string withTrailingSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

// The directory part of a path, with its "/"; "./" for a bare name.
inline std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace pelkora
