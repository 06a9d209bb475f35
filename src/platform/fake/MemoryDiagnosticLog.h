#pragma once

#include <string>
#include <vector>

#include "platform/DiagnosticLog.h"

namespace pelkora {

// A diagnostic log that keeps its lines in memory (tests) or drops them.
class MemoryDiagnosticLog : public DiagnosticLog {
  public:
    void logString(const std::string& name, const std::string& value) override {
        lines_.push_back(name + "=" + value);
    }
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    std::vector<std::string> lines_;
};

}  // namespace pelkora
