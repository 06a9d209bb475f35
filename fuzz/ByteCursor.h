#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelkora::fuzz {

// Reads a fuzzer input front to back; past the end every read gives zero or
// an empty text, so a target never has to check the length first.
class ByteCursor {
  public:
    ByteCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return pos_ >= size_; }
    std::uint8_t byte() { return atEnd() ? 0 : data_[pos_++]; }
    std::uint16_t word() {
        const auto high = static_cast<std::uint16_t>(byte() << 8);
        return static_cast<std::uint16_t>(high | byte());
    }

    // The bytes up to the next `end` byte (consumed, not returned) or the
    // end of the input, at most `longest` of them kept.
    std::string field(char end, std::size_t longest) {
        std::string text;
        while (!atEnd()) {
            const char c = static_cast<char>(data_[pos_++]);
            if (c == end) {
                break;
            }
            if (text.size() < longest) {
                text.push_back(c);
            }
        }
        return text;
    }

    std::string rest() {
        std::string text(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
        pos_ = size_;
        return text;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace pelkora::fuzz
