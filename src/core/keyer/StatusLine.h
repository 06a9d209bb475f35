#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pelkora {

class KeyerEngine;

// The line under the display of what is still to be sent: why a key press
// did not sound as the operator expected. It names the recordings that were
// not found (and where it looked), says how to fill a sound directory that is
// missing or empty, and says when a macro waits for the transmitter. It only
// reports; the keyer skips and times exactly as it would without it.
//
// Fed from the engine's observer: every report goes to keyerChanged(), a
// skipped or played file also to fileSkipped() / filePlayed(). A new macro
// on an empty queue starts the list of missing files afresh.
// Threading: loop thread only.
class StatusLine {
  public:
    enum class Directory { HasRecordings, Empty, Missing };
    // The file system checks, injected because the core does no I/O.
    struct Looks {
        std::function<Directory(const std::string& directory)> directory;
        std::function<bool(const std::string& path)> fileExists;
    };

    explicit StatusLine(Looks looks);

    // Reads what it shows of the engine's state; call after every report.
    void keyerChanged(const KeyerEngine& engine);
    void fileSkipped(const std::string& path, const std::string& reason);
    void filePlayed(const std::string& path);

    // One line per message, most urgent first; empty when all is well.
    std::vector<std::string> lines() const;
    std::string text() const;

    // How many names one line lists before it only counts the rest.
    static constexpr std::size_t kNamesShown = 8;

  private:
    // The files skipped from one directory for one reason (empty: not found).
    struct Group {
        std::string directory;
        std::string reason;
        std::vector<std::string> names;
    };

    void lookAtDirectory();
    static std::string groupLine(const Group& group);
    std::string directoryState() const;

    Looks looks_;
    std::string soundDir_;
    bool soundDirKnown_ = false;
    // Looked at when the line is next shown, not while the keyer reports: a
    // key press reports before its first sound starts, and a directory scan
    // there would delay that sound.
    mutable Directory directory_ = Directory::HasRecordings;
    mutable bool directoryStale_ = true;
    bool queued_ = false;
    bool waitsForTx_ = false;
    std::vector<Group> groups_;
};

}  // namespace pelkora
