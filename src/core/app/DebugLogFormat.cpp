#include "core/app/DebugLogFormat.h"

#include "core/text/TextRules.h"

namespace pelkora {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr std::size_t kValueGap = 50;
// Far more than any locale's "%x %X" needs; strftime reports a short buffer
// only as an empty result, so the search for a size stops here.
constexpr std::size_t kMaxDateTimeLength = 1024;

// Two digits for the file name's fields; a value outside 0..99 (never from
// localtime) is written whole rather than cut.
std::string twoDigits(int value) {
    std::string digits = std::to_string(value);
    return digits.size() < 2 ? "0" + digits : digits;
}

}  // namespace

bool DebugLogFormat::isSwitchOn(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return false;
    }
    return toUpperAscii(trimBlanks(args[1])) == "DEBUG";
}

std::string DebugLogFormat::fileName(const std::string& startDir, const std::tm& startTime) {
    return startDir + "pelkora" + twoDigits(startTime.tm_mday) + twoDigits(startTime.tm_mon + 1) +
           twoDigits(startTime.tm_hour) + twoDigits(startTime.tm_min) +
           twoDigits(startTime.tm_sec) + ".log";
}

std::string DebugLogFormat::openingLines(const std::string& programPath,
                                         const std::string& dateTime) {
    return "Debug file was created for" + programPath + " " + dateTime + kLineEnd + kLineEnd;
}

std::string DebugLogFormat::valueLine(const std::string& name, const std::string& value) {
    const std::string gap(kValueGap, ' ');
    return name + gap + value + gap + kLineEnd;
}

std::string DebugLogFormat::closingLine(const std::string& dateTime) {
    return "Debug file was closed " + dateTime + kLineEnd;
}

std::string DebugLogFormat::formatDateTime(const std::tm& time) {
    for (std::size_t size = 64; size <= kMaxDateTimeLength; size *= 2) {
        std::string text(size, '\0');
        const std::size_t length = std::strftime(text.data(), text.size(), "%x %X", &time);
        if (length > 0) {
            text.resize(length);
            return text;
        }
    }
    return "";
}

}  // namespace pelkora
