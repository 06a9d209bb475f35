#pragma once

#include <cstdint>
#include <string>

#include "platform/sndfile/WavBlockWriter.h"

namespace pelkora {

// One recorded take of a voice message: mono 16-bit PCM in a canonical WAV
// file (a 44-byte header: RIFF, a 16-byte fmt chunk, data), written to a
// temporary file in the target's directory and put in place by finish() after
// an fsync, so a failed or abandoned take never leaves half a file under the
// name nor spoils the take already there. The file it replaces is kept beside
// it as ".<name>.undo" (a link to the same bytes where the file system has
// links, a copy elsewhere); undo() puts it back. A take that fails discards
// itself: the earlier file stays as it was and no temporary file is left.
// Threading: one thread at a time.
class TakeWriter {
  public:
    // A voice message needs 8 kHz of bandwidth; the player takes up to 384 kHz.
    static constexpr int kLowestRate = 16000;
    static constexpr int kHighestRate = 384000;

    // Starts a take that will replace path (a link is followed: the file it
    // points at is replaced). False, with the reason, for a rate out of range,
    // a name too long for the directory, or a directory that refuses a file.
    bool open(const std::string& path, int rate, std::string* error);
    bool isOpen() const { return writer_.isOpen(); }
    std::int64_t frames() const { return writer_.frames(); }

    // Samples beyond full scale are clipped. On failure (a full disk) the take
    // is discarded.
    bool write(const float* samples, std::int64_t count, std::string* error);
    // Drops everything from frame `frames` on.
    bool truncate(std::int64_t frames, std::string* error);
    // Keeps the file being replaced as its undo copy (an undo copy of a file
    // that no longer exists is removed) and puts the take in place. On
    // failure the take is discarded and the file under the name is untouched.
    bool finish(std::string* error);
    // Abandons the take: the temporary file goes, the name is untouched.
    void discard() { writer_.discard(); }

    // Where the undo copy of path is kept.
    static std::string undoPathOf(const std::string& path);
    static bool canUndo(const std::string& path);
    // Puts the undo copy back under path, byte for byte; the take it replaced
    // is dropped. False, with the reason, when there is no undo copy.
    static bool undo(const std::string& path, std::string* error);

  private:
    bool keepUndoCopy(std::string* error) const;

    WavBlockWriter writer_;
    std::string target_;  // the file replaced: path, or what its link points at
};

}  // namespace pelkora
