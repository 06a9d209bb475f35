#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ProfileStore.h"

namespace pelkora {

// Whole numbers in profile files: decimal with an optional sign ("-7",
// "+5"), or hexadecimal after "0x", "0X" or "$" ("0x3", "$1F") without a
// sign; hexadecimal covers all 32 bits, so "0xFFFFFFFF" is -1. Anything else
// (empty text, trailing letters, a value outside 32 bits) is nullopt.
// Surrounding blanks are refused: the store has trimmed them already, so a
// blank here means the text did not come from a profile value.
std::optional<std::int32_t> parseProfileInteger(std::string_view text);

// The number stored under key, or def when it is missing or not a number.
std::int32_t readProfileInteger(ProfileStore& store, const std::string& file,
                                const std::string& section, const std::string& key,
                                std::int32_t def);

// Stores the number in decimal. Throws ProfileWriteError like writeString.
void writeProfileInteger(ProfileStore& store, const std::string& file, const std::string& section,
                         const std::string& key, std::int32_t value);

// Switches are stored as "1" and "0"; any non-zero number reads as true.
bool readProfileBool(ProfileStore& store, const std::string& file, const std::string& section,
                     const std::string& key, bool def);
void writeProfileBool(ProfileStore& store, const std::string& file, const std::string& section,
                      const std::string& key, bool value);

}  // namespace pelkora
