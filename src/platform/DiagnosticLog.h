#pragma once

#include <cstdint>
#include <string>

namespace pelkora {

// Optional diagnostic log of name/value lines; writes nothing unless it was
// switched on at start. Threading: loop thread only.
class DiagnosticLog {
  public:
    virtual ~DiagnosticLog() = default;
    virtual void logString(const std::string& name, const std::string& value) = 0;

    void logInteger(const std::string& name, std::int32_t value) {
        logString(name, std::to_string(value));
    }
    void logBoolean(const std::string& name, bool value) {
        logString(name, value ? "True" : "False");
    }
};

}  // namespace pelkora
