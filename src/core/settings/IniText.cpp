#include "core/settings/IniText.h"

#include <string_view>
#include <vector>

namespace pelkora {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kNone = std::string::npos;

// One line of the content, as offsets: [begin, end) is the text without its
// CR LF or LF, next is where the following line starts.
struct LineSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    bool terminated() const { return next > end; }
};

enum class LineKind { Section, Key, Other };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;      // trimmed; keys only
    std::size_t valueBegin = 0;  // offset in the content of the first byte after '=' and blanks
};

// Where a key sits, or where it could go.
struct Location {
    std::size_t sectionLine = kNone;
    std::size_t lastNonBlankLine = kNone;
    std::size_t keyLine = kNone;
    ParsedLine key;
};

std::string_view trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::size_t bomLength(const std::string& content) {
    return content.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
}

std::vector<LineSpan> splitLines(const std::string& content) {
    std::vector<LineSpan> lines;
    std::size_t begin = bomLength(content);
    while (begin < content.size()) {
        const std::size_t newline = content.find('\n', begin);
        LineSpan line{begin, newline == kNone ? content.size() : newline, 0};
        line.next = newline == kNone ? content.size() : newline + 1;
        if (newline != kNone && line.end > begin && content[line.end - 1] == '\r') {
            --line.end;
        }
        lines.push_back(line);
        begin = line.next;
    }
    return lines;
}

ParsedLine parseLine(const std::string& content, const LineSpan& span) {
    const std::string_view text(content.data() + span.begin, span.end - span.begin);
    const std::string_view trimmed = trimBlanks(text);
    ParsedLine parsed;
    if (trimmed.empty() || trimmed.front() == ';') {
        return parsed;
    }
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = trimBlanks(trimmed.substr(1, close - 1));
        }
        return parsed;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return parsed;
    }
    parsed.kind = LineKind::Key;
    parsed.name = trimBlanks(text.substr(0, equals));
    const std::string_view rest = text.substr(equals + 1);
    const std::size_t valueStart = rest.find_first_not_of(kBlanks);
    parsed.valueBegin = span.begin + equals + 1 + (valueStart == kNone ? rest.size() : valueStart);
    parsed.value = trimBlanks(rest);
    return parsed;
}

bool isBlankLine(const std::string& content, const LineSpan& span) {
    const std::string_view text(content.data() + span.begin, span.end - span.begin);
    return trimBlanks(text).empty();
}

Location locate(const std::string& content, const std::vector<LineSpan>& lines,
                std::string_view section, std::string_view key) {
    Location found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = parseLine(content, lines[i]);
        if (parsed.kind == LineKind::Section) {
            if (found.sectionLine != kNone) {
                break;  // only the first matching section counts
            }
            if (equalsIgnoringCase(parsed.name, section)) {
                found.sectionLine = i;
                found.lastNonBlankLine = i;
            }
            continue;
        }
        if (found.sectionLine == kNone) {
            continue;
        }
        if (!isBlankLine(content, lines[i])) {
            found.lastNonBlankLine = i;
        }
        if (parsed.kind == LineKind::Key && equalsIgnoringCase(parsed.name, key)) {
            found.keyLine = i;
            found.key = parsed;
            break;
        }
    }
    return found;
}

std::string lineEndingOf(const std::string& content) {
    const std::size_t newline = content.find('\n');
    return (newline != kNone && newline > 0 && content[newline - 1] == '\r') ? "\r\n" : "\n";
}

std::string appendSection(const std::string& content, std::string_view section,
                          const std::string& keyLine, const std::string& eol) {
    std::string result = content;
    if (result.size() > bomLength(result)) {
        if (result.back() != '\n') {
            result += eol;
        }
        const std::vector<LineSpan> lines = splitLines(result);
        if (!lines.empty() && !isBlankLine(result, lines.back())) {
            result += eol;
        }
    }
    result += "[";
    result += section;
    result += "]" + eol + keyLine + eol;
    return result;
}

}  // namespace

std::optional<std::string> IniText::find(const std::string& content, const std::string& section,
                                         const std::string& key) {
    const Location found =
        locate(content, splitLines(content), trimBlanks(section), trimBlanks(key));
    if (found.keyLine == kNone) {
        return std::nullopt;
    }
    return std::string(found.key.value.substr(0, kMaxValueLength));
}

std::string IniText::withValue(const std::string& content, const std::string& section,
                               const std::string& key, const std::string& value) {
    const std::vector<LineSpan> lines = splitLines(content);
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    const Location found = locate(content, lines, sectionName, keyName);
    if (found.keyLine != kNone) {
        const LineSpan& line = lines[found.keyLine];
        return content.substr(0, found.key.valueBegin) + value + content.substr(line.end);
    }
    const std::string eol = lineEndingOf(content);
    const std::string keyLine = std::string(keyName) + "=" + value;
    if (found.sectionLine == kNone) {
        return appendSection(content, sectionName, keyLine, eol);
    }
    const LineSpan& after = lines[found.lastNonBlankLine];
    if (!after.terminated()) {
        return content + eol + keyLine + eol;
    }
    return content.substr(0, after.next) + keyLine + eol + content.substr(after.next);
}

bool IniText::isStorable(const std::string& section, const std::string& key,
                         const std::string& value) {
    const auto hasLineBreak = [](const std::string& text) {
        return text.find_first_of("\r\n") != std::string::npos;
    };
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) {
        return false;
    }
    if (section.find(']') != std::string::npos) {
        return false;
    }
    const std::string_view keyName = trimBlanks(key);
    return !keyName.empty() && keyName.find('=') == std::string_view::npos &&
           keyName.front() != '[' && keyName.front() != ';';
}

}  // namespace pelkora
