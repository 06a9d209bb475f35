#include "widgets/support/RecordingProfileStore.h"

namespace pelkora::test {

namespace {

QString keyName(const std::string& section, const std::string& key) {
    return QString::fromStdString(section + "/" + key);
}

}  // namespace

std::string RecordingProfileStore::readString(const std::string& file, const std::string& section,
                                              const std::string& key, const std::string& def) {
    reads.append(keyName(section, key));
    return MemoryProfileStore::readString(file, section, key, def);
}

void RecordingProfileStore::writeString(const std::string& file, const std::string& section,
                                        const std::string& key, const std::string& value) {
    // A refused write throws before it is recorded: the record holds what
    // reached the file.
    MemoryProfileStore::writeString(file, section, key, value);
    writes.append(keyName(section, key) + "=" + QString::fromStdString(value));
}

void RecordingProfileStore::writeStrings(const std::string& file,
                                         const std::vector<ProfileEntry>& entries) {
    MemoryProfileStore::writeStrings(file, entries);
    for (const ProfileEntry& entry : entries) {
        writes.append(keyName(entry.section, entry.key) + "=" +
                      QString::fromStdString(entry.value));
    }
}

void RecordingProfileStore::seed(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& value) {
    store(file, section, key, value);
}

void RecordingProfileStore::forget() {
    reads.clear();
    writes.clear();
}

}  // namespace pelkora::test
