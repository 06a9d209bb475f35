#pragma once

#include <QStringList>
#include <string>
#include <vector>

#include "platform/fake/MemoryProfileStore.h"

namespace pelkora::test {

// A memory profile store that also keeps, in order, every key read
// ("Section/Key") and every write that went through ("Section/Key=Value"),
// so a test can compare what the window touched with the list it expects.
// Values put in with seed() are stored without being recorded.
class RecordingProfileStore : public MemoryProfileStore {
  public:
    std::string readString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) override;
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override;
    // Records each key of the batch in order, as key-by-key writes would be.
    void writeStrings(const std::string& file, const std::vector<ProfileEntry>& entries) override;

    void seed(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);
    void forget();  // empties both records, keeps the values

    QStringList reads;
    QStringList writes;
};

}  // namespace pelkora::test
