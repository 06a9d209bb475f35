#include "core/app/MacroFieldLimit.h"

#include "core/settings/IniText.h"

namespace pelkora {

namespace {

std::string tooLongMessage(const std::string& field) {
    return field + " is longer than " + std::to_string(IniText::kMaxValueLength) +
           " characters and cannot be stored in the settings file.";
}

}  // namespace

std::optional<std::string> MacroFieldLimit::firstTooLong(const Texts& captions,
                                                         const Texts& macros) {
    for (int row = 0; row < kRows; ++row) {
        const std::string key = "F" + std::to_string(row + 1);
        if (captions[row].size() > IniText::kMaxValueLength) {
            return tooLongMessage("Caption of " + key);
        }
        if (macros[row].size() > IniText::kMaxValueLength) {
            return tooLongMessage("Macro " + key);
        }
    }
    return std::nullopt;
}

}  // namespace pelkora
