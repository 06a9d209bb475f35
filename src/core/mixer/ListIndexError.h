#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pelkora {

// An index outside a list of the mixer tree. It abandons the operation that
// asked, and the front end shows its message in the general error box.
class ListIndexError : public std::out_of_range {
  public:
    explicit ListIndexError(std::int32_t index)
        : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
          index_(index) {}
    std::int32_t index() const { return index_; }

  private:
    std::int32_t index_;
};

}  // namespace pelkora
