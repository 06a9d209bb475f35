#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelkora::fuzz {

// One file in a private directory that each fuzzer input overwrites, so the
// code under test reads it through the file system as it would a user's file.
// The directory lives in /dev/shm when there is one: no disk I/O per input.
class TempInputFile {
  public:
    explicit TempInputFile(const std::string& name);
    ~TempInputFile();
    TempInputFile(const TempInputFile&) = delete;
    TempInputFile& operator=(const TempInputFile&) = delete;

    // Replaces the file's content; aborts when the file cannot be written,
    // since every later result would be meaningless.
    void write(const std::uint8_t* data, std::size_t size) const;
    void write(const std::string& bytes) const;

    const std::string& directory() const { return directory_; }
    const std::string& path() const { return path_; }

  private:
    std::string directory_;
    std::string path_;
};

}  // namespace pelkora::fuzz
