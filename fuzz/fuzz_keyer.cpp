// libFuzzer target: an operator's session against the keyer engine, in
// virtual time (see KeyerScript.h for the input's shape).
#include <cstddef>
#include <cstdint>

#include "KeyerScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pelkora::fuzz::KeyerScript script(data, size);
    script.run();
    return 0;
}
