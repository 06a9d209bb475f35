#pragma once

#include <stdexcept>
#include <string>

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

// Keyed text settings in INI ("profile") files, one key per call. Every call
// opens the file afresh and releases it again: nothing is cached, nothing is
// deferred, so edits made by other programs are seen at the next read.
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
};

}  // namespace pelkora
