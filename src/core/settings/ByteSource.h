#pragma once

#include <cstddef>
#include <optional>

namespace pelkora {

// A stream of bytes read front to back, such as an open file: lets the INI
// rules run over a file without the core doing any I/O of its own.
// Threading: used by one thread at a time.
class ByteSource {
  public:
    virtual ~ByteSource() = default;

    // Reads up to size bytes into buffer: the count read, 0 at the end,
    // nullopt when reading failed.
    virtual std::optional<std::size_t> read(char* buffer, std::size_t size) = 0;
};

}  // namespace pelkora
