#pragma once

#include <string>

#include "PlayOptions.h"
#include "core/settings/KeyerSettings.h"

namespace pelkora {

// The macro a run plays: the one on the command line, or that of --key.
inline std::string chosenMacro(const PlayOptions& options, const KeyerSettings& settings) {
    return options.key ? settings.macros[static_cast<std::size_t>(*options.key - 1)]
                       : options.macro;
}

}  // namespace pelkora
