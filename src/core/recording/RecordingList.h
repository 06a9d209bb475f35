#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelkora {

// One sound file of the recordings list.
struct RecordingItem {
    enum class Kind { Message, Character, Other };

    Kind kind = Kind::Other;
    // Relative to the sound directory, as a macro or the spelling names it.
    std::string name;
    // The file the player opens for name (its case may differ); empty when
    // there is none.
    std::string foundAs;
    // The macro keys (1..12) whose macros name it.
    std::vector<int> keys;

    bool present() const { return !foundAs.empty(); }
    // Where a new take goes: the file the player opens, so that a directory
    // holding CQ.WAV for cq.wav gets that file replaced, not a second one.
    const std::string& recordName() const { return foundAs.empty() ? name : foundAs; }
};

// The sound files the keyer needs and has, in the order the operator works
// through them: every file the twelve macros name (by key, each once), every
// character file spelling plays (A-Z, 0-9, stroke.wav), then the other WAV
// files of the sound directory in byte order.
// Threading: any thread; no shared state.
class RecordingList {
  public:
    // Finds a name in the sound directory: the name found (its case may
    // differ), or nothing. The core does no I/O, so the caller looks.
    using Find = std::function<std::optional<std::string>(const std::string& name)>;

    static std::vector<RecordingItem> build(const std::array<std::string, 12>& macros,
                                            const std::vector<std::string>& directoryNames,
                                            const Find& find);

    // The sound files a macro plays from the sound directory, in order.
    static std::vector<std::string> soundFiles(const std::string& macro);
    // The first of them; nothing for a macro that plays no file.
    static std::optional<std::string> firstSoundFile(const std::string& macro);
    // The characters spelling can play, as their files are named.
    static std::vector<std::string> characterFiles();
    // How the player finds a name among a directory's entries: the name as
    // written, else the first in byte order that differs only in the case of
    // ASCII letters.
    static std::optional<std::string> findCaseBlind(const std::string& name,
                                                    const std::vector<std::string>& names);
};

}  // namespace pelkora
