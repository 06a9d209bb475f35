#pragma once

#include <string>

namespace pelkora {

// Optional diagnostic log of name/value lines; writes nothing unless it was
// switched on at start. Threading: loop thread only.
class DiagnosticLog {
  public:
    virtual ~DiagnosticLog() = default;
    virtual void logString(const std::string& name, const std::string& value) = 0;
};

}  // namespace pelkora
