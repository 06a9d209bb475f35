#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ProfileStore.h"

namespace pelkora {

// Profile files held in memory, with a log of every write in order; files
// named in refuseWrites() throw as a read-only file would. Names match
// without regard to case, as in real profile files.
class MemoryProfileStore : public ProfileStore {
  public:
    struct Write {
        std::string file, section, key, value;
    };

    std::string readString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) override;
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override;

    void refuseWrites(const std::string& file) { refused_.insert(file); }
    // Runs at every read, before the value is looked up.
    std::function<void()> onRead;
    const std::vector<Write>& writes() const { return writes_; }
    int readCount() const { return reads_; }

  private:
    using Key = std::tuple<std::string, std::string, std::string>;
    static Key keyOf(const std::string& file, const std::string& section, const std::string& key);

    std::map<Key, std::string> values_;
    std::set<std::string> refused_;
    std::vector<Write> writes_;
    int reads_ = 0;
};

}  // namespace pelkora
