#include "core/keyer/StatusLine.h"

#include <algorithm>
#include <utility>

#include "core/keyer/KeyerEngine.h"

namespace pelkora {

namespace {

// Bounds what a long spelled text of missing characters, or a beacon that
// meets them again and again, can pile up.
constexpr std::size_t kNamesKept = 256;
constexpr std::size_t kGroupsKept = 16;
constexpr std::size_t kGroupsShown = 3;

const char* const kWaitingForTx = "Waiting for TX \u2014 press Alt+T";
const char* const kHowToFill = "Setup \u203a Sound directory chooses where your recordings are.";

// A directory as the operator typed it: without the separator that every
// sound directory ends in, except the root itself.
std::string shownDirectory(std::string directory) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    return directory;
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {std::string(), path};
    }
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

// A name whose edges are blank (a space spelled from a call sign gives
// " .wav") or that holds the list's separator would read wrongly bare.
std::string shownName(const std::string& name) {
    const bool blankEdge = name.empty() || name.front() == ' ' || name.back() == ' ';
    if (blankEdge || name.find(',') != std::string::npos) {
        return '"' + name + '"';
    }
    return name;
}

}  // namespace

StatusLine::StatusLine(Looks looks) : looks_(std::move(looks)) {}

void StatusLine::keyerChanged(const KeyerEngine& engine) {
    if (!soundDirKnown_ || engine.soundDirectory() != soundDir_) {
        soundDir_ = engine.soundDirectory();
        soundDirKnown_ = true;
        groups_.clear();
        lookAtDirectory();
    }
    const bool queued = !engine.PlayQueue().empty();
    if (queued && !queued_) {
        // A new macro: what the last one missed is old news, and the
        // directory may have been filled meanwhile.
        groups_.clear();
        lookAtDirectory();
    }
    queued_ = queued;
    // A player that is ready plays without the transmitter (after a Clear):
    // only a queue the player will not start is waiting.
    waitsForTx_ = engine.waitsForTransmitter() && !engine.ReadyToPlay();
}

void StatusLine::fileSkipped(const std::string& path, const std::string& reason) {
    lookAtDirectory();  // a missing file may mean the directory went
    std::pair<std::string, std::string> parts = splitPath(path);
    const std::string& directory = parts.first;
    std::string& name = parts.second;
    const std::string why = looks_.fileExists(path) ? reason : std::string();
    auto group = std::find_if(groups_.begin(), groups_.end(), [&](const Group& g) {
        return g.directory == directory && g.reason == why;
    });
    if (group == groups_.end()) {
        if (groups_.size() >= kGroupsKept) {
            return;
        }
        group = groups_.insert(groups_.end(), Group{directory, why, {}});
    }
    std::vector<std::string>& names = group->names;
    if (names.size() < kNamesKept && std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(std::move(name));
    }
}

void StatusLine::filePlayed(const std::string& path) {
    const std::pair<std::string, std::string> parts = splitPath(path);
    for (Group& group : groups_) {
        if (group.directory == parts.first) {
            std::erase(group.names, parts.second);
        }
    }
    std::erase_if(groups_, [](const Group& group) { return group.names.empty(); });
}

std::vector<std::string> StatusLine::lines() const {
    if (directoryStale_) {
        directory_ = looks_.directory(soundDir_);
        directoryStale_ = false;
    }
    std::vector<std::string> shown;
    if (waitsForTx_) {
        shown.emplace_back(kWaitingForTx);
    }
    for (std::size_t n = 0; n < groups_.size() && n < kGroupsShown; ++n) {
        shown.push_back(groupLine(groups_[n]));
    }
    if (directory_ != Directory::HasRecordings) {
        // On a line of its own: the directory's name can be long.
        shown.push_back(directoryState());
        shown.emplace_back(kHowToFill);
    }
    return shown;
}

std::string StatusLine::text() const {
    std::string joined;
    for (const std::string& line : lines()) {
        if (!joined.empty()) {
            joined += '\n';
        }
        joined += line;
    }
    return joined;
}

void StatusLine::lookAtDirectory() {
    directoryStale_ = true;
}

std::string StatusLine::groupLine(const Group& group) {
    std::string line = group.reason.empty() ? "Not found" : "Cannot play";
    if (!group.directory.empty()) {
        line += " in " + group.directory;
    }
    if (!group.reason.empty()) {
        line += " (" + group.reason + ")";
    }
    line += ": ";
    const std::size_t listed = std::min(group.names.size(), kNamesShown);
    for (std::size_t n = 0; n < listed; ++n) {
        line += (n == 0 ? "" : ", ") + shownName(group.names[n]);
    }
    if (group.names.size() > listed) {
        line += " and " + std::to_string(group.names.size() - listed) + " more";
    }
    return line;
}

std::string StatusLine::directoryState() const {
    const std::string directory = shownDirectory(soundDir_);
    if (directory.empty()) {
        return "No sound directory is set.";
    }
    if (directory_ == Directory::Missing) {
        return "The sound directory " + directory + " does not exist.";
    }
    return "No recordings in " + directory + ".";
}

}  // namespace pelkora
