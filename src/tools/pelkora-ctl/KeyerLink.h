#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace pelkora {

// pelkora-ctl's way to the running keyer: method calls, property reads and
// writes, and the State signal. The session bus is behind it in the program,
// a recording fake in the tests, so that the verbs' calls are checked without
// a bus.
// Threading: one thread; monitor() runs its loop on it and calls back there.
class KeyerLink {
  public:
    using Argument = std::variant<std::string, std::int32_t>;

    struct Reply {
        enum class Outcome { Ok, NoBus, NoKeyer, Failed };
        Outcome outcome = Outcome::Ok;
        // No answer within the call timeout: the keyer may still have acted.
        bool timedOut = false;
        std::string error;       // D-Bus error name and message, or why there is no bus
        std::int32_t value = 0;  // a property read

        bool ok() const { return outcome == Outcome::Ok; }
    };

    virtual ~KeyerLink() = default;

    virtual Reply call(const std::string& method, const std::vector<Argument>& arguments) = 0;
    virtual Reply readProperty(const std::string& name) = 0;
    virtual Reply writeProperty(const std::string& name, std::int32_t value) = 0;
    // Hands each State code to onState until SIGINT or SIGTERM (Ok) or until the
    // keyer leaves the bus (NoKeyer, error says so). NoKeyer at once when no
    // keyer is there to watch.
    virtual Reply monitor(const std::function<void(std::int32_t)>& onState) = 0;
};

}  // namespace pelkora
