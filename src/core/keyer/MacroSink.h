#pragma once

#include <string>
#include <string_view>

namespace pelkora {

// What macro expansion reads and acts on. The keyer engine is the one real
// implementation; tests record the calls. Values are read at the moment a
// word needs them, never cached, so a call sign typed just before a key
// press is the one spelled.
class MacroSink {
  public:
    virtual ~MacroSink() = default;

    virtual std::string soundDir() const = 0;
    virtual std::string callText() const = 0;
    virtual std::string reportText() const = 0;
    // The value of key in the logging program's settings file ("" allowed);
    // a single space when the file, its section or the key is missing.
    virtual std::string externalValue(const std::string& key) = 0;

    virtual void appendEntry(std::string entry) = 0;
    virtual void appendDisplay(std::string_view piece) = 0;
    // Empties the queue and the display, cuts the sound, marks the player ready.
    virtual void clearCommand() = 0;
    // Keys the transmitter when it is not keyed already.
    virtual void transmitCommand() = 0;
    // Copies the whole display text into the beacon text.
    virtual void saveBeaconText() = 0;
};

}  // namespace pelkora
