#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace pelkora {

// The switch, the file name and the exact line texts of the diagnostic log.
// Every line ends with CR LF so that the file reads the same on the machines
// of the operators who send it in. Pure functions; safe on any thread except
// that formatDateTime reads the process's LC_TIME locale.
class DebugLogFormat {
  public:
    // True when the first argument after the program name, with leading and
    // trailing blanks removed, is "DEBUG" in any letter case. args[0] is the
    // program name; DEBUG anywhere else does not count.
    static bool isSwitchOn(const std::vector<std::string>& args);

    // startDir (ending with '/') + "pelkora" + ddmmhhmmss + ".log"; two starts
    // within the same second share a name, and the later one overwrites.
    static std::string fileName(const std::string& startDir, const std::tm& startTime);

    // The line naming the program file and the time, then an empty line. There
    // is deliberately no blank between "for" and the path.
    static std::string openingLines(const std::string& programPath, const std::string& dateTime);

    // name, 50 blanks, value, 50 blanks: not a column alignment, both texts keep
    // their full length.
    static std::string valueLine(const std::string& name, const std::string& value);

    static std::string closingLine(const std::string& dateTime);

    // The short date and the long time as the system shows them: strftime's
    // "%x %X" under the current LC_TIME (the desktop's locale once the program
    // has called setlocale(LC_ALL, ""), as QCoreApplication does; "12/06/24
    // 17:20:05" in the C locale).
    static std::string formatDateTime(const std::tm& time);
};

}  // namespace pelkora
