#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/ptt/PttTiming.h"
#include "core/settings/KeyerSettings.h"

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

// The player keeps no diagnostic log: a stored value it had to replace by a
// default is told on standard error instead.
inline void warnAboutSettings(const KeyerSettings& settings, const std::string& settingsFile) {
    if (settings.rejectedPttLine) {
        std::fprintf(stderr,
                     "pelkora-play: PTTLine=%s in %s is not 1 (RTS), 2 (DTR) or 3 (both); RTS "
                     "used\n",
                     settings.rejectedPttLine->c_str(), settingsFile.c_str());
    }
}

// The [PTT] timings of pelkora.ini, with --tx-timeout over TimeoutSeconds; a
// stored value that was replaced is told on standard error.
inline PttTiming pttTiming(ProfileStore& profiles, const std::string& settingsFile,
                           std::optional<std::int64_t> timeoutSeconds) {
    std::vector<std::string> complaints;
    PttTiming timing = PttTiming::read(profiles, settingsFile, complaints);
    for (const std::string& complaint : complaints) {
        std::fprintf(stderr, "pelkora-play: %s in %s\n", complaint.c_str(), settingsFile.c_str());
    }
    if (timeoutSeconds) {
        timing.timeoutSeconds = *timeoutSeconds;
    }
    return timing;
}

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
