#include "platform/fake/MemoryProfileStore.h"

#include "core/text/TextRules.h"

namespace pelkora {

MemoryProfileStore::Key MemoryProfileStore::keyOf(const std::string& file,
                                                  const std::string& section,
                                                  const std::string& key) {
    return {file, toUpperAscii(section), toUpperAscii(key)};
}

std::string MemoryProfileStore::readString(const std::string& file, const std::string& section,
                                           const std::string& key, const std::string& def) {
    ++reads_;
    if (onRead) {
        onRead();
    }
    const auto found = values_.find(keyOf(file, section, key));
    return found == values_.end() ? def : found->second.substr(0, 2047);
}

void MemoryProfileStore::writeString(const std::string& file, const std::string& section,
                                     const std::string& key, const std::string& value) {
    beginWrite(file);
    store(file, section, key, value);
}

void MemoryProfileStore::writeStrings(const std::string& file,
                                      const std::vector<ProfileEntry>& entries) {
    beginWrite(file);
    for (const ProfileEntry& entry : entries) {
        store(file, entry.section, entry.key, entry.value);
    }
}

void MemoryProfileStore::beginWrite(const std::string& file) {
    if (refused_.count(file) != 0) {
        throw ProfileWriteError(file);
    }
    ++writePasses_;
}

void MemoryProfileStore::store(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value) {
    values_[keyOf(file, section, key)] = value;
    writes_.push_back({file, section, key, value});
}

}  // namespace pelkora
