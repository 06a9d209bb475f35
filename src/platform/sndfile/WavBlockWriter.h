#pragma once

#include <sndfile.h>

#include <cstdint>
#include <functional>
#include <string>

namespace pelkora {

// A mono 16-bit PCM WAV written block by block. The samples go to a temporary
// file in the final name's directory (unnamed where the file system allows, so
// even a killed process leaves nothing behind), renamed into place only by
// finish(): a run that fails or is abandoned never leaves half a file under
// that name, nor spoils a file already there. Samples beyond full scale are
// clipped.
// Threading: one thread at a time.
class WavBlockWriter {
  public:
    // A plain WAV counts its bytes in 32 bits; 16-bit mono is 2 bytes a frame.
    static constexpr std::int64_t kLongestFrames = (INT64_C(0xFFFFFFFF) - 4096) / 2;

    WavBlockWriter() = default;
    ~WavBlockWriter() { discard(); }
    WavBlockWriter(const WavBlockWriter&) = delete;
    WavBlockWriter& operator=(const WavBlockWriter&) = delete;

    // Creates the temporary file. On failure returns false and says why.
    bool open(const std::string& path, int rate, std::string* error);
    bool isOpen() const { return file_ != nullptr; }
    // Frames written so far: where the next write lands.
    std::int64_t frames() const { return frames_; }

    bool write(const float* samples, std::int64_t count, std::string* error);
    bool writeSilence(std::int64_t count, std::string* error);
    // Drops everything from frame `frames` on.
    bool truncate(std::int64_t frames, std::string* error);
    // Completes the file and moves it to the final name.
    bool finish(std::string* error);
    // Forgets the file: the temporary is removed, the final name untouched.
    void discard();

  private:
    bool createTemporary(const std::string& directory, const std::string& name, std::string* error);
    // Tries hidden names beside the final one until create() succeeds with one.
    bool nameTemporary(const std::string& directory, const std::string& name,
                       const std::function<bool(const std::string&)>& create);
    bool nameUnnamed();

    std::string directory_;
    std::string name_;
    std::string finalPath_;
    std::string temporaryPath_;
    int fd_ = -1;
    SNDFILE* file_ = nullptr;
    std::int64_t frames_ = 0;
};

}  // namespace pelkora
