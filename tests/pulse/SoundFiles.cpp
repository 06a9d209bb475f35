#include "pulse/SoundFiles.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelkora::test {

void writeLevelFile(const std::string& path, const SoundFormat& format, std::int64_t frames,
                    float level) {
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = format.format;
    std::unique_ptr<SNDFILE, decltype(&sf_close)> file(sf_open(path.c_str(), SFM_WRITE, &info),
                                                       &sf_close);
    if (!file) {
        throw std::runtime_error("cannot create " + path + ": " + sf_strerror(nullptr));
    }
    const std::vector<float> samples(static_cast<std::size_t>(frames * format.channels), level);
    if (sf_writef_float(file.get(), samples.data(), frames) != frames) {
        throw std::runtime_error("cannot write " + path);
    }
}

namespace {

void putLittleEndian(std::string& bytes, std::uint32_t value, int size) {
    for (int index = 0; index < size; ++index) {
        bytes.push_back(static_cast<char>((value >> (8 * index)) & 0xFFu));
    }
}

}  // namespace

void writeSparseWav(const std::string& path, int rate, int channels, int bitsPerSample,
                    std::uint32_t dataBytes) {
    const auto blockAlign = static_cast<std::uint32_t>(channels * bitsPerSample / 8);
    std::string header = "RIFF";
    putLittleEndian(header, 36 + dataBytes, 4);
    header += "WAVEfmt ";
    putLittleEndian(header, 16, 4);
    putLittleEndian(header, 1, 2);  // PCM
    putLittleEndian(header, static_cast<std::uint32_t>(channels), 2);
    putLittleEndian(header, static_cast<std::uint32_t>(rate), 4);
    putLittleEndian(header, static_cast<std::uint32_t>(rate) * blockAlign, 4);
    putLittleEndian(header, blockAlign, 2);
    putLittleEndian(header, static_cast<std::uint32_t>(bitsPerSample), 2);
    header += "data";
    putLittleEndian(header, dataBytes, 4);

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    const bool written =
        ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size()) &&
        ::ftruncate(fd, static_cast<off_t>(header.size() + dataBytes)) == 0;
    ::close(fd);
    if (!written) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace pelkora::test
