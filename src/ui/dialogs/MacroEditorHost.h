#pragma once

#include <string>

namespace pelkora {

// What the macro editor needs of the main window: its live macros and button
// captions (n = 1..12) and the Save of the settings file. The editor keeps no
// copy; it loads from here whenever it becomes active.
// Threading: GUI thread only.
class MacroEditorHost {
  public:
    virtual ~MacroEditorHost() = default;

    virtual std::string macro(int n) = 0;
    virtual void setMacro(int n, const std::string& text) = 0;
    virtual std::string buttonCaption(int n) = 0;
    virtual void setButtonCaption(int n, const std::string& caption) = 0;

    // Writes the sound directory, the macros and the captions to the settings
    // file. Throws std::exception whose what() is the message the user sees.
    virtual void SaveMacros() = 0;
};

}  // namespace pelkora
