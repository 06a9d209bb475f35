#include "core/recording/RecordingList.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "core/keyer/MacroExpander.h"
#include "core/keyer/MacroSink.h"
#include "core/keyer/QueueEntry.h"
#include "core/text/TextRules.h"

namespace pelkora {

namespace {

// Expands a macro with nothing typed and no logger values, keeping only the
// entries that name a file: what the macro itself plays, whatever the call.
class FileCollector : public MacroSink {
  public:
    std::vector<std::string> files;

    std::string soundDir() const override { return {}; }
    std::string callText() const override { return {}; }
    std::string reportText() const override { return {}; }
    std::string externalValue(const std::string&) override { return {}; }
    void appendEntry(std::string entry) override {
        const QueueEntry classified = QueueEntry::classify(entry);
        if (classified.kind == QueueEntry::Kind::SoundFile && !classified.text.empty() &&
            !QueueEntry::isBeacon(classified.text)) {
            files.push_back(classified.text);
        }
    }
    void appendDisplay(std::string_view) override {}
    void clearCommand() override {}
    void transmitCommand() override {}
    void saveBeaconText() override {}
};

// Hidden files are the keyer's own (undo copies, takes being written).
bool isVisibleWav(const std::string& name) {
    return name.size() > 4 && name.front() != '.' &&
           toUpperAscii(std::string_view(name).substr(name.size() - 4)) == ".WAV";
}

RecordingItem& itemFor(std::vector<RecordingItem>& items, const std::string& name,
                       RecordingItem::Kind kind) {
    const auto known = std::find_if(items.begin(), items.end(),
                                    [&](const RecordingItem& item) { return item.name == name; });
    if (known != items.end()) {
        return *known;
    }
    items.push_back(RecordingItem{kind, name, {}, {}});
    return items.back();
}

}  // namespace

std::vector<std::string> RecordingList::soundFiles(const std::string& macro) {
    FileCollector collector;
    MacroExpander::expand(macro, collector);
    return collector.files;
}

std::optional<std::string> RecordingList::firstSoundFile(const std::string& macro) {
    std::vector<std::string> files = soundFiles(macro);
    if (files.empty()) {
        return std::nullopt;
    }
    return files.front();
}

std::vector<std::string> RecordingList::characterFiles() {
    std::vector<std::string> names;
    for (char c = 'A'; c <= 'Z'; ++c) {
        names.push_back(std::string(1, c) + ".wav");
    }
    for (char c = '0'; c <= '9'; ++c) {
        names.push_back(std::string(1, c) + ".wav");
    }
    names.emplace_back("stroke.wav");
    return names;
}

std::optional<std::string> RecordingList::findCaseBlind(const std::string& name,
                                                        const std::vector<std::string>& names) {
    if (std::find(names.begin(), names.end(), name) != names.end()) {
        return name;
    }
    const std::string upper = toUpperAscii(name);
    std::optional<std::string> found;
    for (const std::string& candidate : names) {
        if (toUpperAscii(candidate) == upper && (!found || candidate < *found)) {
            found = candidate;
        }
    }
    return found;
}

std::vector<RecordingItem> RecordingList::build(const std::array<std::string, 12>& macros,
                                                const std::vector<std::string>& directoryNames,
                                                const Find& find) {
    std::vector<RecordingItem> items;
    for (std::size_t index = 0; index < macros.size(); ++index) {
        for (const std::string& name : soundFiles(macros[index])) {
            std::vector<int>& keys = itemFor(items, name, RecordingItem::Kind::Message).keys;
            const int key = static_cast<int>(index) + 1;
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
            }
        }
    }
    for (const std::string& name : characterFiles()) {
        itemFor(items, name, RecordingItem::Kind::Character);
    }
    std::set<std::string> covered;
    for (RecordingItem& item : items) {
        item.foundAs = find(item.name).value_or("");
        covered.insert(item.name);
        covered.insert(item.foundAs);
    }
    std::vector<std::string> others;
    for (const std::string& name : directoryNames) {
        if (isVisibleWav(name) && covered.count(name) == 0) {
            others.push_back(name);
        }
    }
    std::sort(others.begin(), others.end());
    others.erase(std::unique(others.begin(), others.end()), others.end());
    for (const std::string& name : others) {
        items.push_back(RecordingItem{RecordingItem::Kind::Other, name, name, {}});
    }
    return items;
}

}  // namespace pelkora
