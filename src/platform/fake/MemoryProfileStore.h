#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ProfileStore.h"

namespace pelkora {

// Profile files held in memory, with a log of every key written, in order;
// files named in refuseWrites() throw as a read-only file would, before any
// key of the call is stored. Names match without regard to case, as in real
// profile files.
class MemoryProfileStore : public ProfileStore {
  public:
    struct Write {
        std::string file, section, key, value;
    };

    std::string readString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) override;
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override;
    void writeStrings(const std::string& file, const std::vector<ProfileEntry>& entries) override;

    void refuseWrites(const std::string& file) { refused_.insert(file); }
    // Runs at every read, before the value is looked up.
    std::function<void()> onRead;
    const std::vector<Write>& writes() const { return writes_; }
    int readCount() const { return reads_; }
    // Calls that stored keys: a file store rewrites its file once per call,
    // however many keys it carries.
    int writePasses() const { return writePasses_; }

  protected:
    // Puts the value in and logs it, without the refusal check or a pass.
    void store(const std::string& file, const std::string& section, const std::string& key,
               const std::string& value);

  private:
    using Key = std::tuple<std::string, std::string, std::string>;
    static Key keyOf(const std::string& file, const std::string& section, const std::string& key);
    void beginWrite(const std::string& file);

    std::map<Key, std::string> values_;
    std::set<std::string> refused_;
    std::vector<Write> writes_;
    int reads_ = 0;
    int writePasses_ = 0;
};

}  // namespace pelkora
