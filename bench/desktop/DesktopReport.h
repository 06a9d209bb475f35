#pragma once

#include <string>
#include <vector>

#include "BenchFigures.h"

namespace pelkora::bench {

// The desktop benchmark's tables: the figures of each command (latency to
// the first sample on the sink, silences between files, span) with one
// column group per condition (idle, loaded), so that the desktop program,
// the command-line player and paplay are read side by side.
// Threading: one thread.
class DesktopReport {
  public:
    struct Condition {
        std::string name;  // "idle", "loaded (2 busy loops)"
        BenchFigures figures;
    };

    // One line a command; a command without figures in a condition says why
    // in that column group. Rows follow the first condition's order.
    static std::string table(const std::string& title, const std::vector<Condition>& conditions);
};

}  // namespace pelkora::bench
