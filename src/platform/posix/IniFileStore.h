#pragma once

#include <string>
#include <vector>

#include "platform/ProfileStore.h"

namespace pelkora {

// Profile files on a POSIX file system. A file argument without any '/' is a
// bare name and lives in bareNameDirectory (the start directory, see
// ConfigLocation.h); any other argument is used as given.
//
// Reading never fails: a missing or unreadable file reads as empty. A read
// streams the file in blocks and stops at the key, so a large file costs
// neither memory nor time beyond the lines before the key. A write, of one
// key or of several at once, finds the keys' places in one streamed pass over
// the file, then copies the file with the changes into a temporary file
// beside it, syncs it and renames it over the original, so a crash leaves
// either the old or the new file, never half of one; neither pass holds the
// file in memory. A file that another
// program changes between the two passes refuses the write. A symlink is written
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
    void writeStrings(const std::string& file, const std::vector<ProfileEntry>& entries) override;

    // Where a file argument points: bare names go into the start directory.
    std::string resolve(const std::string& file) const;

  private:
    std::string bareNameDirectory_;
};

}  // namespace pelkora
