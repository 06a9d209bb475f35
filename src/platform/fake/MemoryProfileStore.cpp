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
    if (refused_.count(file) != 0) {
        throw ProfileWriteError(file);
    }
    values_[keyOf(file, section, key)] = value;
    writes_.push_back({file, section, key, value});
}

}  // namespace pelkora
