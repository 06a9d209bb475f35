#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace pelkora {

// Raised when a settings file refuses a write. what() is the text the user
// sees: "Unable to write to <path>".
class ProfileWriteError : public std::runtime_error {
  public:
    explicit ProfileWriteError(const std::string& path)
        : std::runtime_error("Unable to write to " + path), path_(path) {}
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// One key to store: where it goes and its value.
struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};

// Keyed text settings in INI ("profile") files. Every call opens the file
// afresh and releases it again: nothing is cached, nothing is deferred, so
// edits made by other programs are seen at the next read.
// Section and key names match without regard to case.
// Threading: called only on the loop thread.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;

    // The value as stored (at most 2047 characters), or def when the file,
    // the section or the key is missing. A key with an empty value reads "".
    virtual std::string readString(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& def) = 0;

    // Stores the value, creating the file (and its directory) when needed.
    // Throws ProfileWriteError when the write is refused.
    virtual void writeString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value) = 0;

    // Stores several keys as one change, as if each were written in turn: a
    // user action that saves many keys costs the file one rewrite, not one
    // per key. A refused write throws ProfileWriteError and stores none of
    // them. This default writes key by key and so suits only stores that
    // never refuse partway (simple test doubles); stores backed by files
    // override it.
    virtual void writeStrings(const std::string& file, const std::vector<ProfileEntry>& entries) {
        for (const ProfileEntry& entry : entries) {
            writeString(file, entry.section, entry.key, entry.value);
        }
    }
};

}  // namespace pelkora
