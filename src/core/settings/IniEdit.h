#pragma once

#include <cstdint>
#include <string>

namespace pelkora {

// How INI content changes when one key is set: the bytes [from, to) give way
// to text; every other byte stays. Offsets count bytes from the content's
// start, so a file can be rewritten by copying around the change.
struct IniEdit {
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    std::string text;
    bool changesNothing = false;  // the key already holds exactly this value
};

}  // namespace pelkora
