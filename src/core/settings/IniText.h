#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/IniEdit.h"
#include "core/settings/IniLineReader.h"
#include "platform/ProfileStore.h"

namespace pelkora {

// The rules of INI ("profile") text, on a whole content in memory or on lines
// streamed from a file: no I/O, so the file stores and the tests share one
// reading of the format.
//
// - Lines end in LF, CR LF or a lone CR; a last line without a terminator
//   still counts. Lines longer than IniLineReader::kMaxLineLength are read as
//   their start (see there).
// - "[name]" starts a section (blanks around it allowed; the name is trimmed).
//   Lines before the first section belong to no section.
// - "name=value" is a key, split at the first '='; blanks (space, tab) around
//   name and value are trimmed, then one pair of matching quotes ("..." or
//   '...') around the value is dropped, as Windows reads it; the value is
//   otherwise kept byte-for-byte (inner quotes and later '=' kept). Values
//   are written as given, never quoted.
// - Lines whose first non-blank character is ';' are comments; other lines
//   without '=' are ignored.
// - Section and key names match without regard to ASCII case; the first
//   matching section and the first matching key in it win.
// - A UTF-8 byte-order mark before the first line is skipped when reading and
//   kept when writing.
class IniText {
  public:
    // Values longer than this are cut on reading.
    static constexpr std::size_t kMaxValueLength = 2047;

    IniText() = delete;

    // The value of key in section, cut to kMaxValueLength; nullopt when the
    // section or the key is missing. A key with an empty value gives "".
    static std::optional<std::string> find(const std::string& content, const std::string& section,
                                           const std::string& key);
    // The same over streamed lines; reads no further than the key's line.
    static std::optional<std::string> find(IniLineReader& lines, const std::string& section,
                                           const std::string& key);

    // content with key set to value: the first matching key's value is
    // replaced in place; else "key=value" goes after the section's last
    // non-blank line; else a new section is appended. Every other byte is
    // kept, and new lines end as the first line does (LF when it has no
    // ending). Only meaningful when isStorable().
    static std::string withValue(const std::string& content, const std::string& section,
                                 const std::string& key, const std::string& value);
    // content with every entry set, the same as withValue entry after entry.
    static std::string withValues(const std::string& content,
                                  const std::vector<ProfileEntry>& entries);
    // The change withValue makes, found in one pass over streamed lines.
    static IniEdit edit(IniLineReader& lines, const std::string& section, const std::string& key,
                        const std::string& value);
    // The changes withValues makes, found in one pass over streamed lines
    // (which stops early once every key is found): in offset order, none
    // overlapping, and none that would leave the bytes as they are.
    static std::vector<IniEdit> edits(IniLineReader& lines,
                                      const std::vector<ProfileEntry>& entries);

    // False when writing these names or this value would change the meaning
    // of other lines (a line break, a ']' in a section name, a key that is
    // empty, holds '=' or would read as a section or comment line).
    static bool isStorable(const std::string& section, const std::string& key,
                           const std::string& value);
};

}  // namespace pelkora
