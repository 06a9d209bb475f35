#pragma once

#include <array>
#include <optional>
#include <string>

namespace pelkora {

// The settings file reads values back cut to 2047 characters, so the editor
// refuses to save a longer caption or macro rather than have it cut silently
// at the next start.
class MacroFieldLimit {
  public:
    static constexpr int kRows = 12;
    using Texts = std::array<std::string, kRows>;

    MacroFieldLimit() = delete;

    // The message naming the first field, row by row and caption before
    // macro, that the settings file cannot hold whole; nullopt when all fit.
    static std::optional<std::string> firstTooLong(const Texts& captions, const Texts& macros);
};

}  // namespace pelkora
