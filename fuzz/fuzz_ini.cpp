// libFuzzer target: the profile-file rules on arbitrary text, then the file
// store on the same text in a real file.
//
// Input: "<section>\0<key>\0<value>\0<other section>\0<other key>\0<content>".
// Writing a value must read back as that value and leave every other key's
// value as it was: a settings file never loses what the operator stored.
// Several keys written in one pass must give the very bytes that writing
// them one after the other gives.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ByteCursor.h"
#include "FuzzCheck.h"
#include "TempInputFile.h"
#include "core/settings/IniText.h"
#include "platform/posix/IniFileStore.h"

namespace {

using pelkora::IniText;
using pelkora::fuzz::check;

constexpr std::size_t kLongestName = 64;
constexpr std::size_t kLongestValue = 4096;
constexpr const char* kMissing = "\x01missing";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    a = trimmed(a);
    b = trimmed(b);
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// What a read gives back for a stored value: blanks around it trimmed, one
// pair of matching quotes dropped, cut.
std::string readBack(const std::string& value) {
    std::string_view text = trimmed(value);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(text.substr(0, IniText::kMaxValueLength));
}

struct IniCase {
    std::string section, key, value, otherSection, otherKey, content;
};

// Both keys, then the first again with the value reversed: a batch that
// mixes sections and names one key twice.
std::vector<pelkora::ProfileEntry> batchOf(const IniCase& c) {
    const std::string reversed(c.value.rbegin(), c.value.rend());
    return {{c.section, c.key, c.value},
            {c.otherSection, c.otherKey, c.value + "2"},
            {c.section, c.key, reversed}};
}

bool storable(const std::vector<pelkora::ProfileEntry>& entries) {
    for (const pelkora::ProfileEntry& e : entries) {
        if (!IniText::isStorable(e.section, e.key, e.value)) {
            return false;
        }
    }
    return true;
}

std::string oneByOne(std::string content, const std::vector<pelkora::ProfileEntry>& entries) {
    for (const pelkora::ProfileEntry& e : entries) {
        content = IniText::withValue(content, e.section, e.key, e.value);
    }
    return content;
}

void checkText(const IniCase& c) {
    const auto found = IniText::find(c.content, c.section, c.key);
    check(!found || found->size() <= IniText::kMaxValueLength, "a read value is cut to the limit");
    if (!IniText::isStorable(c.section, c.key, c.value)) {
        return;
    }
    const std::string updated = IniText::withValue(c.content, c.section, c.key, c.value);
    check(IniText::find(updated, c.section, c.key) == readBack(c.value),
          "a written value reads back");
    if (!sameName(c.section, c.otherSection) || !sameName(c.key, c.otherKey)) {
        check(IniText::find(updated, c.otherSection, c.otherKey) ==
                  IniText::find(c.content, c.otherSection, c.otherKey),
              "writing one key leaves every other key's value as it was");
    }
    const auto batch = batchOf(c);
    if (storable(batch)) {
        check(IniText::withValues(c.content, batch) == oneByOne(c.content, batch),
              "one pass gives what key after key gives");
    }
}

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void checkStore(const IniCase& c) {
    static const pelkora::fuzz::TempInputFile file("pelkora.ini");
    file.write(c.content);
    pelkora::IniFileStore store(file.directory());
    const std::string read = store.readString("pelkora.ini", c.section, c.key, kMissing);
    check(read == IniText::find(c.content, c.section, c.key).value_or(kMissing),
          "the file store reads what the text rules read");
    if (!IniText::isStorable(c.section, c.key, c.value)) {
        return;
    }
    store.writeString("pelkora.ini", c.section, c.key, c.value);
    check(store.readString("pelkora.ini", c.section, c.key, kMissing) == readBack(c.value),
          "a value written to the file reads back");

    const auto batch = batchOf(c);
    if (!storable(batch)) {
        return;
    }
    file.write(c.content);
    store.writeStrings("pelkora.ini", batch);
    check(contentsOf(file.path()) == IniText::withValues(c.content, batch),
          "the file store writes a batch as the text rules do");
    check(
        store.readString("pelkora.ini", c.section, c.key, kMissing) == readBack(batch.back().value),
        "the last value of a key written twice in a batch reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pelkora::fuzz::ByteCursor input(data, size);
    IniCase c;
    c.section = input.field('\0', kLongestName);
    c.key = input.field('\0', kLongestName);
    c.value = input.field('\0', kLongestValue);
    c.otherSection = input.field('\0', kLongestName);
    c.otherKey = input.field('\0', kLongestName);
    c.content = input.rest();
    checkText(c);
    checkStore(c);
    return 0;
}
