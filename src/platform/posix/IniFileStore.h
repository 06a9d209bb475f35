#pragma once

#include <string>

#include "platform/ProfileStore.h"

namespace pelkora {

// Profile files on a POSIX file system. A file argument without any '/' is a
// bare name and lives in bareNameDirectory (the start directory, see
// ConfigLocation.h); any other argument is used as given.
//
// Reading never fails: a missing or unreadable file reads as empty. A write
// reads the file afresh, writes the whole new content to a temporary file
// beside it, syncs it and renames it over the original, so a crash leaves
// either the old or the new file, never half of one. A symlink is written
// through to its target and stays a link; the file's permission bits are
// kept. A refused write throws ProfileWriteError with the resolved path and
// leaves the original untouched.
// Threading: called only on the loop thread.
class IniFileStore : public ProfileStore {
  public:
    explicit IniFileStore(std::string bareNameDirectory);

    std::string readString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) override;
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override;

    // Where a file argument points: bare names go into the start directory.
    std::string resolve(const std::string& file) const;

  private:
    std::string bareNameDirectory_;
};

}  // namespace pelkora
