#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/ByteSource.h"

namespace pelkora {

// One line of INI text. Offsets count bytes from the start of the content.
struct IniLine {
    // The line without its terminator and, on the first line, without a
    // UTF-8 byte-order mark. At most IniLineReader::kMaxLineLength bytes;
    // valid until the next line is read.
    std::string_view text;
    std::uint64_t begin = 0;  // where text starts
    std::uint64_t end = 0;    // just past the line's last byte before its terminator
    std::uint64_t next = 0;   // where the following line starts (the content's size after the last)
    // The terminator: "\n", "\r\n" or "\r"; empty only on a last line that
    // has none.
    std::string_view ending;
    bool cut = false;  // longer than kMaxLineLength: text is only its start

    bool terminated() const { return !ending.empty(); }
};

// Splits INI content into lines, either from a string held in memory or
// streamed from a ByteSource in blocks, so that a file is never held whole.
// LF, CR LF and a lone CR each end a line: files edited on Windows, on old
// Macintosh editors or by both at once read alike.
//
// A line longer than kMaxLineLength bytes is read as if it ended there: its
// first kMaxLineLength bytes decide what it is (section, key, comment) and
// its rest is skipped without being kept. Real lines are far shorter (values
// are cut at 2047 bytes anyway); only a damaged or hostile file has such a
// line, and it then costs no more memory than a short one. Its offsets still
// span the whole line, so a write replaces it entirely.
//
// A failed read ends the lines; the line it interrupted is not returned.
// Threading: used by one thread at a time.
class IniLineReader {
  public:
    static constexpr std::size_t kMaxLineLength = 64 * 1024;
    static constexpr std::size_t kBlockSize = 64 * 1024;

    // content must outlive the reader; it is not copied.
    explicit IniLineReader(std::string_view content);
    // source must outlive the reader.
    explicit IniLineReader(ByteSource& source);

    // The next line, or false at the end of the content or after a failed read.
    bool next(IniLine& line);

    bool failed() const { return failed_; }
    // Bytes consumed so far: the content's size once next() returned false.
    std::uint64_t offset() const { return offset_; }

  private:
    static constexpr std::uint64_t kUnknown = UINT64_MAX;

    bool refill();
    void keep(std::string_view piece);
    void consume(std::size_t count);
    std::size_t nextInBlock(char c, std::uint64_t& cachedAt);
    std::string_view takeEnding(std::size_t at);
    bool skipLfAfterCr();
    void finishLine(IniLine& line, std::uint64_t length);

    ByteSource* source_ = nullptr;
    std::vector<char> buffer_;
    std::string_view block_;  // bytes read but not yet consumed
    std::uint64_t offset_ = 0;
    // Where the next LF and CR lie, as offsets; kept between lines so that
    // content with only one of the two is not searched to the block's end
    // for every line.
    std::uint64_t lfAt_ = kUnknown;
    std::uint64_t crAt_ = kUnknown;
    std::string_view text_;  // the current line's start while it lies in block_
    std::string kept_;       // ... or its copy once it spans blocks
    bool copied_ = false;
    bool firstLine_ = true;
    bool atEnd_ = false;
    bool failed_ = false;
};

}  // namespace pelkora
