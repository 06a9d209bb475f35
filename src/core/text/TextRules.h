#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelkora {

// Small text rules shared by the macro language and the player. Macro texts
// are 8-bit strings; case folding is plain ASCII so that bytes above 127 pass
// through unchanged.
std::string toUpperAscii(std::string_view text);

// Removes leading and trailing blanks: spaces and control characters.
std::string_view trimBlanks(std::string_view text);

// Removes leading and trailing spaces only.
std::string_view trimSpaces(std::string_view text);

bool containsText(std::string_view haystack, std::string_view needle);

// A decimal integer with an optional sign that fits in 32 bits, nothing else
// around it; empty when the text is anything else.
std::optional<std::int32_t> parseDecimalInt32(std::string_view text);

// The text of the error a failed integer conversion raises.
std::string notAnIntegerMessage(std::string_view text);

}  // namespace pelkora
