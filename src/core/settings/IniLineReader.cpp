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
    char last = '\0';
    for (;;) {
        if (block_.empty() && !refill()) {
            atEnd_ = true;
            if (failed_ || length == 0) {
                return false;
            }
            break;
        }
        const std::size_t newline = block_.find('\n');
        const std::string_view piece = block_.substr(0, newline);
        keep(piece);
        length += piece.size();
        last = piece.empty() ? last : piece.back();
        if (newline != std::string_view::npos) {
            consume(newline + 1);
            line.terminated = true;
            break;
        }
        consume(piece.size());
    }
    finishLine(line, length, last);
    // A byte-order mark alone is no line.
    return line.terminated || line.next > line.begin;
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

void IniLineReader::finishLine(IniLine& line, std::uint64_t length, char last) {
    std::string_view text = copied_ ? std::string_view(kept_) : text_;
    text = text.substr(0, kMaxLineLength);
    line.cut = length > kMaxLineLength;
    // A CR before the LF belongs to the terminator, and so does a CR that
    // ends the content: an editor that adds no final newline still wrote it.
    const bool endsInCr = last == '\r';
    if (endsInCr && !line.cut) {
        text.remove_suffix(1);
    }
    line.end = line.begin + length - (endsInCr ? 1 : 0);
    line.next = offset_;
    if (std::exchange(firstLine_, false) && text.starts_with(kUtf8Bom)) {
        text.remove_prefix(kUtf8Bom.size());
        line.begin += kUtf8Bom.size();
    }
    line.text = text;
}

}  // namespace pelkora
