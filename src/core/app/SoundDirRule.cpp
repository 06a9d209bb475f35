#include "core/app/SoundDirRule.h"

namespace pelkora {

std::string withTrailingSeparator(std::string_view directory) {
    std::string result(directory);
    if (!result.ends_with('/')) {
        result += '/';
    }
    return result;
}

std::string chooserStartDirectory(std::string_view fieldText, std::string_view startingSoundDir,
                                  const std::function<bool(const std::string&)>& isDirectory) {
    const std::string candidate(fieldText.empty() ? startingSoundDir : fieldText);
    if (candidate.empty() || !isDirectory(candidate)) {
        return "/";
    }
    return candidate;
}

}  // namespace pelkora
