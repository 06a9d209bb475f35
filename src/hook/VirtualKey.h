#pragma once

#include <cstdint>

namespace pelkora::hook {

// The Windows virtual-key code the keyer's hook message carries for an X
// keysym: F1..F24 are 112..135, letters 65..90, digits 48..57, and the
// common editing and navigation keys their usual codes; 0 for the rest.
// Pure function; any thread.
std::uint16_t virtualKeyOf(unsigned long keysym);

}  // namespace pelkora::hook
