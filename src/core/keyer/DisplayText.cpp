#include "core/keyer/DisplayText.h"

#include <algorithm>

namespace pelkora {

void DisplayText::assign(std::string_view text) {
    text_.assign(text);
    start_ = 0;
}

void DisplayText::clear() {
    text_.clear();
    start_ = 0;
}

void DisplayText::removeFront(std::size_t count) {
    start_ = std::min(text_.size(), start_ + count);
    // Compact once the dead prefix outweighs the live text: amortised O(1).
    if (start_ > 4096 && start_ > text_.size() / 2) {
        text_.erase(0, start_);
        start_ = 0;
    }
}

}  // namespace pelkora
