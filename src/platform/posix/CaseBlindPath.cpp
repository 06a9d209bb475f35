#include "platform/posix/CaseBlindPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <optional>
#include <string_view>

namespace pelkora {
namespace {

bool entryExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// Only ASCII letters fold: names of recordings are call signs, digits and
// plain words, and a locale's case rules must not decide which file plays.
char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view one, std::string_view other) {
    if (one.size() != other.size()) {
        return false;
    }
    for (std::size_t index = 0; index < one.size(); ++index) {
        if (foldAscii(one[index]) != foldAscii(other[index])) {
            return false;
        }
    }
    return true;
}

// std::string compares as unsigned bytes, so the choice does not depend on
// the order the file system lists its entries in.
std::optional<std::string> firstMatch(const std::string& directory, std::string_view name) {
    DIR* listing = ::opendir(directory.empty() ? "." : directory.c_str());
    if (listing == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view candidate = entry->d_name;
        if (sameIgnoringCase(candidate, name) && (!best || candidate < *best)) {
            best = std::string(candidate);
        }
    }
    ::closedir(listing);
    return best;
}

std::string joined(const std::string& directory, std::string_view name) {
    if (directory.empty() || directory.back() == '/') {
        return directory + std::string(name);
    }
    return directory + "/" + std::string(name);
}

}  // namespace

std::string CaseBlindPath::resolve(const std::string& path) {
    if (path.empty() || entryExists(path)) {
        return path;
    }
    std::string resolved = path.front() == '/' ? "/" : "";
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string_view component = std::string_view(path).substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            continue;  // a doubled slash
        }
        std::string exact = joined(resolved, component);
        if (component == "." || component == ".." || entryExists(exact)) {
            resolved = std::move(exact);
            continue;
        }
        const std::optional<std::string> match = firstMatch(resolved, component);
        if (!match) {
            return path;
        }
        resolved = joined(resolved, *match);
    }
    return resolved;
}

}  // namespace pelkora
