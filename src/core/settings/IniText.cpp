#include "core/settings/IniText.h"

#include <algorithm>
#include <cstdint>
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

// The line of a key that was looked for.
struct KeyLine {
    std::uint64_t valueBegin = 0;
    std::uint64_t end = 0;
    std::string value;     // as read: trimmed, unquoted, cut to IniText::kMaxValueLength
    std::string rawValue;  // as it stands in the line, trailing blanks included
    bool cut = false;
};

// A line that a new line may follow.
struct LinePlace {
    std::uint64_t end = 0;
    std::uint64_t next = 0;
    std::string_view ending;
    bool lfFollows = false;  // the next line is empty and ends in a lone LF
};

LinePlace placeOf(const IniLine& line) {
    return LinePlace{line.end, line.next, line.ending, false};
}

// A key being written, with the value of the last entry that names it.
struct WantedKey {
    std::string_view name;
    std::string value;           // what goes after '='
    std::size_t firstEntry = 0;  // index of the first entry that names it
    std::optional<KeyLine> line;
};

// A section being written into, with its keys in the order they were first named.
struct WantedSection {
    std::string_view name;
    std::vector<WantedKey> keys;
    bool found = false;      // its first header was seen
    LinePlace lastNonBlank;  // of that first match, its header included
};

// The content as a whole, as far as new lines need it. Complete only when
// the pass reached the end, which it does whenever a key is missing.
struct Outline {
    std::string_view eol = "\n";  // new lines end like the first line does
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

// Windows drops one pair of matching quotes around a value, so a value
// saved there as "  padded  " keeps its blanks.
std::string_view unquoted(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return quoted ? value.substr(1, value.size() - 2) : value;
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
    parsed.value = unquoted(trimBlanks(rest));
    return parsed;
}

KeyLine keyLineOf(const IniLine& line, const ParsedLine& parsed) {
    return KeyLine{parsed.valueBegin, line.end,
                   std::string(parsed.value.substr(0, IniText::kMaxValueLength)),
                   std::string(parsed.rawValue), line.cut};
}

// The first key named key in the first section named section; reads no
// further than that key.
std::optional<KeyLine> findKey(IniLineReader& lines, std::string_view section,
                               std::string_view key) {
    bool inSection = false;
    IniLine line;
    while (lines.next(line)) {
        if (!inSection && !opensSection(line.text)) {
            continue;  // the common case in a large file: no need to parse the line
        }
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == LineKind::Section) {
            if (inSection) {
                return std::nullopt;  // only the first matching section counts
            }
            inSection = equalsIgnoringCase(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key &&
                   equalsIgnoringCase(parsed.name, key)) {
            return keyLineOf(line, parsed);
        }
    }
    return std::nullopt;
}

template <typename T>
T* findNamed(std::vector<T>& items, std::string_view name) {
    const auto found = std::find_if(items.begin(), items.end(), [&](const T& item) {
        return equalsIgnoringCase(item.name, name);
    });
    return found == items.end() ? nullptr : &*found;
}

// The entries grouped by section and key; a key named twice keeps its first
// place and its last value, as two writes in turn would leave it.
std::vector<WantedSection> group(const std::vector<ProfileEntry>& entries) {
    std::vector<WantedSection> sections;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const ProfileEntry& entry = entries[index];
        const std::string_view sectionName = trimBlanks(entry.section);
        WantedSection* section = findNamed(sections, sectionName);
        if (section == nullptr) {
            section = &sections.emplace_back(WantedSection{sectionName, {}, false, {}});
        }
        const std::string_view keyName = trimBlanks(entry.key);
        if (WantedKey* key = findNamed(section->keys, keyName)) {
            // A later write replaces what follows the blanks that open the
            // earlier value; those blanks stay in the line.
            key->value.resize(leadingBlanks(key->value));
            key->value += entry.value;
        } else {
            section->keys.push_back(WantedKey{keyName, entry.value, index, std::nullopt});
        }
    }
    return sections;
}

void noteLine(Outline& outline, const IniLine& line) {
    if (!outline.hasLines && line.terminated()) {
        outline.eol = line.ending;
    }
    outline.hasLines = true;
    outline.last = placeOf(line);
    outline.lastBlank = isBlankLine(line);
}

// The section a header opens, when it is the first match of a wanted one.
WantedSection* opened(std::vector<WantedSection>& sections, std::string_view name) {
    WantedSection* section = findNamed(sections, name);
    if (section == nullptr || section->found) {
        return nullptr;  // not wanted, or a later duplicate, which is never read
    }
    section->found = true;
    return section;
}

// True when the line is the first of one of the section's keys.
bool claimKey(WantedSection& section, const IniLine& line, const ParsedLine& parsed) {
    WantedKey* key = findNamed(section.keys, parsed.name);
    if (key == nullptr || key->line) {
        return false;
    }
    key->line = keyLineOf(line, parsed);
    return true;
}

std::size_t keyCount(const std::vector<WantedSection>& sections) {
    std::size_t count = 0;
    for (const WantedSection& section : sections) {
        count += section.keys.size();
    }
    return count;
}

// One pass that finds every wanted key, or the places where missing ones go;
// it stops early once all keys are found.
Outline scan(IniLineReader& lines, std::vector<WantedSection>& sections) {
    Outline outline;
    WantedSection* current = nullptr;
    std::size_t missing = keyCount(sections);
    IniLine line;
    while (missing > 0 && lines.next(line)) {
        noteLine(outline, line);
        if (current == nullptr && !opensSection(line.text)) {
            continue;  // the common case in a large file: no need to parse the line
        }
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == LineKind::Section) {
            current = opened(sections, parsed.name);
            if (current != nullptr) {
                current->lastNonBlank = placeOf(line);
            }
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        if (!isBlankLine(line)) {
            current->lastNonBlank = placeOf(line);
        } else if (line.begin == current->lastNonBlank.next && line.text.empty() &&
                   line.ending == "\n") {
            current->lastNonBlank.lfFollows = true;
        }
        if (parsed.kind == LineKind::Key && claimKey(*current, line, parsed)) {
            --missing;
        }
    }
    outline.endOffset = lines.offset();
    return outline;
}

// The ending of new lines put after place. A CR just before an LF would fuse
// with it into one CR LF ending and swallow the blank line that LF ends.
std::string_view endingAt(const LinePlace& place, std::string_view eol) {
    return place.lfFollows && eol == "\r" ? "\r\n" : eol;
}

// The edit that puts text, a run of whole lines, after the line at place. An
// unterminated line gets a line ending first. After a lone CR, an LF that
// opens text would fuse with it the same way, so it becomes a CR LF.
IniEdit insertAfter(const LinePlace& place, std::string text, std::string_view eol) {
    if (place.ending.empty()) {
        return IniEdit{place.end, place.next, std::string(eol) + text, false};
    }
    if (place.ending == "\r" && text.starts_with('\n')) {
        text.insert(0, "\r");
    }
    return IniEdit{place.next, place.next, std::move(text), false};
}

// The lines of the section's keys that the content lacks, each ended by eol.
std::string missingKeyLines(const WantedSection& section, std::string_view eol) {
    std::string text;
    for (const WantedKey& key : section.keys) {
        if (!key.line) {
            text.append(key.name).append("=").append(key.value).append(eol);
        }
    }
    return text;
}

// The sections the content lacks, each set off from what comes before by a
// blank line.
std::string newSections(const std::vector<WantedSection>& sections, std::string_view eol) {
    std::string text;
    for (const WantedSection& section : sections) {
        if (!section.found) {
            text.append(text.empty() ? "" : eol).append("[").append(section.name).append("]");
            text.append(eol).append(missingKeyLines(section, eol));
        }
    }
    return text;
}

// The first entry of a key that the content lacks, in the section or in any
// of the sections (SIZE_MAX when there is none).
std::size_t firstMissingEntry(const WantedSection& section) {
    std::size_t first = SIZE_MAX;
    for (const WantedKey& key : section.keys) {
        first = key.line ? first : std::min(first, key.firstEntry);
    }
    return first;
}

std::size_t firstMissingEntry(const std::vector<WantedSection>& sections, bool found) {
    std::size_t first = SIZE_MAX;
    for (const WantedSection& section : sections) {
        first = section.found == found ? std::min(first, firstMissingEntry(section)) : first;
    }
    return first;
}

// Lines that a section ending on the content's last line adds there.
struct EndInsert {
    std::size_t edit = 0;  // its index among the edits
    std::size_t firstEntry = 0;
};

// Adds the new sections at the content's end, after the lines of endInsert
// if there is one.
void appendNewSections(std::vector<IniEdit>& edits, std::optional<EndInsert> endInsert,
                       const std::vector<WantedSection>& sections, const Outline& outline) {
    const std::string text = newSections(sections, outline.eol);
    if (text.empty()) {
        return;
    }
    if (endInsert) {
        // Written key by key, a new section named before those lines would
        // have followed a final lone CR directly, its blank line made a CR LF
        // (see insertAfter); the lines then went in before that blank line.
        const bool sectionFirst = firstMissingEntry(sections, false) < endInsert->firstEntry;
        const bool crLast = outline.last.ending == "\r" && outline.eol == "\n";
        const std::string blank = sectionFirst && crLast ? "\r\n" : std::string(outline.eol);
        edits[endInsert->edit].text.append(blank).append(text);
    } else if (!outline.hasLines) {
        edits.push_back(IniEdit{outline.endOffset, outline.endOffset, text, false});
    } else {
        const std::string blank(outline.lastBlank ? "" : outline.eol);
        edits.push_back(insertAfter(outline.last, blank + text, outline.eol));
    }
}

// The edits in offset order. Replacements come first among edits at one
// offset: an empty value at an unterminated end is replaced before a line
// goes after it.
std::vector<IniEdit> plan(const std::vector<WantedSection>& sections, const Outline& outline) {
    std::vector<IniEdit> edits;
    for (const WantedSection& section : sections) {
        for (const WantedKey& key : section.keys) {
            if (key.line && (key.line->cut || key.line->rawValue != key.value)) {
                edits.push_back(IniEdit{key.line->valueBegin, key.line->end, key.value, false});
            }
        }
    }
    std::optional<EndInsert> endInsert;
    for (const WantedSection& section : sections) {
        const std::string lines =
            missingKeyLines(section, endingAt(section.lastNonBlank, outline.eol));
        if (section.found && !lines.empty()) {
            if (section.lastNonBlank.next == outline.endOffset) {
                endInsert = EndInsert{edits.size(), firstMissingEntry(section)};
            }
            edits.push_back(insertAfter(section.lastNonBlank, lines, outline.eol));
        }
    }
    appendNewSections(edits, endInsert, sections, outline);
    std::stable_sort(edits.begin(), edits.end(),
                     [](const IniEdit& a, const IniEdit& b) { return a.from < b.from; });
    return edits;
}

std::string applied(const std::string& content, const std::vector<IniEdit>& edits) {
    std::string result;
    std::size_t at = 0;
    for (const IniEdit& edit : edits) {
        result.append(content, at, static_cast<std::size_t>(edit.from) - at).append(edit.text);
        at = static_cast<std::size_t>(edit.to);
    }
    return result.append(content, at);
}

}  // namespace

std::optional<std::string> IniText::find(const std::string& content, const std::string& section,
                                         const std::string& key) {
    IniLineReader lines(content);
    return find(lines, section, key);
}

std::optional<std::string> IniText::find(IniLineReader& lines, const std::string& section,
                                         const std::string& key) {
    std::optional<KeyLine> found = findKey(lines, trimBlanks(section), trimBlanks(key));
    if (!found) {
        return std::nullopt;
    }
    return std::move(found->value);
}

std::string IniText::withValue(const std::string& content, const std::string& section,
                               const std::string& key, const std::string& value) {
    return withValues(content, {ProfileEntry{section, key, value}});
}

std::string IniText::withValues(const std::string& content,
                                const std::vector<ProfileEntry>& entries) {
    IniLineReader lines(content);
    return applied(content, edits(lines, entries));
}

IniEdit IniText::edit(IniLineReader& lines, const std::string& section, const std::string& key,
                      const std::string& value) {
    std::vector<IniEdit> changes = edits(lines, {ProfileEntry{section, key, value}});
    return changes.empty() ? IniEdit{0, 0, "", true} : std::move(changes.front());
}

std::vector<IniEdit> IniText::edits(IniLineReader& lines,
                                    const std::vector<ProfileEntry>& entries) {
    std::vector<WantedSection> sections = group(entries);
    const Outline outline = scan(lines, sections);
    return plan(sections, outline);
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
