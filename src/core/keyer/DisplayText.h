#pragma once

#include <string>
#include <string_view>

namespace pelkora {

// The one-line display of what is still to be sent. Pieces are appended at
// the end and eaten from the front as entries are played; eating from the
// front moves a start offset instead of the text, so that a long queue costs
// linear time, not quadratic.
class DisplayText {
  public:
    std::string_view view() const { return std::string_view(text_).substr(start_); }
    std::string str() const { return std::string(view()); }
    bool empty() const { return start_ >= text_.size(); }
    std::size_t size() const { return text_.size() - start_; }
    char front() const { return text_[start_]; }

    void append(std::string_view piece) { text_.append(piece); }
    void assign(std::string_view text);
    void clear();
    void removeFront(std::size_t count);

  private:
    std::string text_;
    std::size_t start_ = 0;
};

}  // namespace pelkora
