#include "core/settings/IniText.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace pelkora {

namespace {

enum class LineKind { Section, Key, Other };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;        // trimmed; keys only
    std::string_view rawValue;     // from valueBegin to the line's end; keys only
    std::uint64_t valueBegin = 0;  // offset of the first byte after '=' and blanks
};

// The line of the key that was looked for.
struct KeyLine {
    std::uint64_t valueBegin = 0;
    std::uint64_t end = 0;
    std::string value;     // trimmed and cut to IniText::kMaxValueLength
    std::string rawValue;  // as it stands in the line, trailing blanks included
    bool cut = false;
};

// A line that a new line may follow.
struct LinePlace {
    std::uint64_t end = 0;
    std::uint64_t next = 0;
    bool terminated = false;
    bool textEndsInCr = false;  // the line's own last byte is a CR
};

LinePlace placeOf(const IniLine& line) {
    return LinePlace{line.end, line.next, line.terminated,
                     !line.text.empty() && line.text.back() == '\r'};
}

// Where a key sits, or where it could go.
struct Location {
    bool sectionFound = false;
    std::optional<KeyLine> key;
    LinePlace lastNonBlank;  // of the section, its header included
    // The content as a whole. The last-line facts and endOffset hold only
    // when the pass reached the end, which it does when the section is missing.
    bool crLf = false;  // the first line ends in CR LF
    bool hasLines = false;
    LinePlace last;
    bool lastBlank = false;
    std::uint64_t endOffset = 0;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// By hand: this runs on every line of a file that may have millions, and the
// generic find_first_not_of costs a library call per character.
std::size_t leadingBlanks(std::string_view text) {
    std::size_t count = 0;
    while (count < text.size() && isBlank(text[count])) {
        ++count;
    }
    return count;
}

std::string_view trimBlanks(std::string_view text) {
    const std::size_t first = leadingBlanks(text);
    std::size_t last = text.size();
    while (last > first && isBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

bool isBlankLine(const IniLine& line) {
    return leadingBlanks(line.text) == line.text.size();
}

bool opensSection(std::string_view text) {
    const std::size_t first = leadingBlanks(text);
    return first < text.size() && text[first] == '[';
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

ParsedLine parseLine(const IniLine& line) {
    const std::string_view text = line.text;
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
    const std::size_t valueStart = leadingBlanks(rest);
    parsed.valueBegin = line.begin + equals + 1 + valueStart;
    parsed.rawValue = rest.substr(valueStart);
    parsed.value = trimBlanks(rest);
    return parsed;
}

KeyLine keyLineOf(const IniLine& line, const ParsedLine& parsed) {
    return KeyLine{parsed.valueBegin, line.end,
                   std::string(parsed.value.substr(0, IniText::kMaxValueLength)),
                   std::string(parsed.rawValue), line.cut};
}

void noteLine(Location& found, const IniLine& line) {
    if (!found.hasLines) {
        found.crLf = line.terminated && line.next - line.end == 2;
    }
    found.hasLines = true;
    found.last = placeOf(line);
    found.lastBlank = isBlankLine(line);
}

void noteLastNonBlank(Location& found, const IniLine& line) {
    found.lastNonBlank = placeOf(line);
}

Location locate(IniLineReader& lines, std::string_view section, std::string_view key) {
    Location found;
    IniLine line;
    while (lines.next(line)) {
        noteLine(found, line);
        if (!found.sectionFound && !opensSection(line.text)) {
            continue;  // the common case in a large file: no need to parse the line
        }
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == LineKind::Section) {
            if (found.sectionFound) {
                break;  // only the first matching section counts
            }
            if (equalsIgnoringCase(parsed.name, section)) {
                found.sectionFound = true;
                noteLastNonBlank(found, line);
            }
            continue;
        }
        if (!found.sectionFound) {
            continue;
        }
        if (!isBlankLine(line)) {
            noteLastNonBlank(found, line);
        }
        if (parsed.kind == LineKind::Key && equalsIgnoringCase(parsed.name, key)) {
            found.key = keyLineOf(line, parsed);
            break;
        }
    }
    found.endOffset = lines.offset();
    return found;
}

// The edit that puts text on a line of its own after the line at place. An
// unterminated line gets a line ending first; a lone CR that ends it gives
// way to that ending, else the two would read as part of the line.
IniEdit insertAfter(const LinePlace& place, const std::string& text, const std::string& eol) {
    if (place.terminated) {
        return IniEdit{place.next, place.next, text, false};
    }
    if (place.textEndsInCr && place.next > place.end) {
        // "v\r" ended by a lone CR: an LF after that CR makes the pair the
        // line's ending and keeps the value's own CR.
        return IniEdit{place.next, place.next, "\n" + text, false};
    }
    return IniEdit{place.end, place.next, eol + text, false};
}

// A new section at the end, set off from what comes before by a blank line.
IniEdit newSection(const Location& found, std::string_view section, const std::string& keyLine,
                   const std::string& eol) {
    const std::string text = "[" + std::string(section) + "]" + eol + keyLine + eol;
    if (!found.hasLines) {
        return IniEdit{found.endOffset, found.endOffset, text, false};
    }
    return insertAfter(found.last, (found.lastBlank ? "" : eol) + text, eol);
}

}  // namespace

std::optional<std::string> IniText::find(const std::string& content, const std::string& section,
                                         const std::string& key) {
    IniLineReader lines(content);
    return find(lines, section, key);
}

std::optional<std::string> IniText::find(IniLineReader& lines, const std::string& section,
                                         const std::string& key) {
    Location found = locate(lines, trimBlanks(section), trimBlanks(key));
    if (!found.key) {
        return std::nullopt;
    }
    return std::move(found.key->value);
}

std::string IniText::withValue(const std::string& content, const std::string& section,
                               const std::string& key, const std::string& value) {
    IniLineReader lines(content);
    const IniEdit change = edit(lines, section, key, value);
    const auto from = static_cast<std::size_t>(change.from);
    const auto to = static_cast<std::size_t>(change.to);
    return content.substr(0, from) + change.text + content.substr(to);
}

IniEdit IniText::edit(IniLineReader& lines, const std::string& section, const std::string& key,
                      const std::string& value) {
    const std::string_view sectionName = trimBlanks(section);
    const std::string_view keyName = trimBlanks(key);
    const Location found = locate(lines, sectionName, keyName);
    if (found.key) {
        const KeyLine& line = *found.key;
        return IniEdit{line.valueBegin, line.end, value, !line.cut && line.rawValue == value};
    }
    const std::string eol = found.crLf ? "\r\n" : "\n";
    const std::string keyLine = std::string(keyName) + "=" + value;
    if (!found.sectionFound) {
        return newSection(found, sectionName, keyLine, eol);
    }
    return insertAfter(found.lastNonBlank, keyLine + eol, eol);
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
