#pragma once

#include <string>

namespace pelkora {

// What the remote-control paths (the logger's control codes, the keyboard
// hook, the automation object) need from the main window besides the keyer
// engine. The window implements it.
// Threading: loop thread only.
class RemoteHost {
  public:
    virtual ~RemoteHost() = default;

    // The text of the macro on key Fn, key 1..12 (callers never pass another).
    virtual std::string macro(int key) = 0;

    // The call-sign field eCall and the report field eRS.
    virtual std::string callField() = 0;
    virtual std::string reportField() = 0;
    virtual void setCallField(const std::string& text) = 0;
    virtual void setReportField(const std::string& text) = 0;

    // The directory that holds the settings file from now on, stored as given.
    virtual void setStartDir(const std::string& dir) = 0;
    // Looks the microphone lines up again, with its log lines and its message
    // when the system has no mixer.
    virtual void FindMicrophoneLines() = 0;
};

}  // namespace pelkora
