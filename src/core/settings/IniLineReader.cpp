#include "core/settings/IniLineReader.h"

#include <algorithm>
#include <utility>

namespace pelkora {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

IniLineReader::IniLineReader(std::string_view content) : block_(content) {}

IniLineReader::IniLineReader(ByteSource& source) : source_(&source), buffer_(kBlockSize) {}

bool IniLineReader::next(IniLine& line) {
    if (atEnd_) {
        return false;
    }
    line = IniLine{};
    line.begin = offset_;
    text_ = {};
    kept_.clear();
    copied_ = false;
    std::uint64_t length = 0;
    for (;;) {
        if (block_.empty() && !refill()) {
            atEnd_ = true;
            if (failed_ || length == 0) {
                return false;
            }
            break;
        }
        const std::size_t stop = std::min(nextInBlock('\n', lfAt_), nextInBlock('\r', crAt_));
        const std::string_view piece = block_.substr(0, stop);
        keep(piece);
        length += piece.size();
        if (stop == block_.size()) {
            consume(piece.size());
            continue;
        }
        line.ending = takeEnding(stop);
        if (failed_) {
            return false;
        }
        break;
    }
    finishLine(line, length);
    // A byte-order mark alone is no line.
    return line.terminated() || line.next > line.begin;
}

// The index in block_ of the next c, or block_.size() when the block has none.
std::size_t IniLineReader::nextInBlock(char c, std::uint64_t& cachedAt) {
    if (cachedAt == kUnknown || cachedAt < offset_) {
        const std::size_t found = block_.find(c);
        cachedAt = offset_ + (found == std::string_view::npos ? block_.size() : found);
    }
    return static_cast<std::size_t>(cachedAt - offset_);
}

// Consumes the line's terminator, which starts at index at of block_.
std::string_view IniLineReader::takeEnding(std::size_t at) {
    const char first = block_[at];
    consume(at + 1);
    if (first == '\n') {
        return "\n";
    }
    return skipLfAfterCr() ? "\r\n" : "\r";
}

// After a CR: takes the LF that makes it a CR LF pair, reading on when the CR
// ended the block. False when no LF follows (or reading failed).
bool IniLineReader::skipLfAfterCr() {
    if (block_.empty() && !refill()) {
        atEnd_ = true;  // nothing follows; a failure is reported by next()
        return false;
    }
    if (block_.front() != '\n') {
        return false;
    }
    consume(1);
    return true;
}

bool IniLineReader::refill() {
    // The block is about to be overwritten: a line begun in it moves to kept_.
    if (!copied_ && !text_.empty()) {
        kept_.assign(text_.substr(0, kMaxLineLength));
        copied_ = true;
    }
    if (source_ == nullptr) {
        return false;
    }
    const std::optional<std::size_t> count = source_->read(buffer_.data(), buffer_.size());
    if (!count) {
        failed_ = true;
        return false;
    }
    block_ = std::string_view(buffer_.data(), std::min(*count, buffer_.size()));
    lfAt_ = kUnknown;
    crAt_ = kUnknown;
    return !block_.empty();
}

void IniLineReader::keep(std::string_view piece) {
    if (!copied_) {
        text_ = piece;  // the line's first piece: no copy while it stays in the block
        return;
    }
    const std::size_t room = kMaxLineLength - std::min(kMaxLineLength, kept_.size());
    kept_.append(piece.substr(0, room));
}

void IniLineReader::consume(std::size_t count) {
    block_.remove_prefix(count);
    offset_ += count;
}

void IniLineReader::finishLine(IniLine& line, std::uint64_t length) {
    std::string_view text = copied_ ? std::string_view(kept_) : text_;
    line.text = text.substr(0, kMaxLineLength);
    line.cut = length > kMaxLineLength;
    line.end = line.begin + length;
    line.next = offset_;
    if (std::exchange(firstLine_, false) && line.text.starts_with(kUtf8Bom)) {
        line.text.remove_prefix(kUtf8Bom.size());
        line.begin += kUtf8Bom.size();
    }
}

}  // namespace pelkora
