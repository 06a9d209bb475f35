#include "sndfile/TestWav.h"

#include <fstream>
#include <memory>
#include <stdexcept>

namespace pelkora::test {
namespace {

using SoundFilePtr = std::unique_ptr<SNDFILE, decltype(&sf_close)>;

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int index = 0; index < bytes; ++index) {
        out.push_back(static_cast<char>((value >> (8 * index)) & 0xFF));
    }
}

void writeOrAppend(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
    std::ofstream out(path, std::ios::binary | mode);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace

void writeSound(const std::string& path, const SoundFormat& format, std::int64_t frames,
                const SampleAt& sampleAt) {
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = format.format;
    SoundFilePtr file(sf_open(path.c_str(), SFM_WRITE, &info), &sf_close);
    if (!file) {
        throw std::runtime_error("cannot create " + path + ": " + sf_strerror(nullptr));
    }
    std::vector<float> interleaved;
    interleaved.reserve(static_cast<std::size_t>(frames * format.channels));
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < format.channels; ++channel) {
            interleaved.push_back(sampleAt(frame, channel));
        }
    }
    if (sf_writef_float(file.get(), interleaved.data(), frames) != frames) {
        throw std::runtime_error("cannot write " + path);
    }
}

void writeConstant(const std::string& path, const SoundFormat& format, std::int64_t frames,
                   float value) {
    writeSound(path, format, frames, [value](std::int64_t, int) { return value; });
}

void writeBytes(const std::string& path, const std::string& bytes) {
    writeOrAppend(path, bytes, std::ios::trunc);
}

void appendBytes(const std::string& path, const std::string& bytes) {
    writeOrAppend(path, bytes, std::ios::app);
}

std::string wavHeader(int rate, int channels, int bitsPerSample, std::uint32_t dataBytes) {
    const auto blockAlign = static_cast<std::uint32_t>(channels * bitsPerSample / 8);
    std::string header = "RIFF";
    putLittleEndian(header, dataBytes + 36, 4);
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
    return header;
}

ReadBack readSound(const std::string& path) {
    ReadBack result;
    SoundFilePtr file(sf_open(path.c_str(), SFM_READ, &result.info), &sf_close);
    if (!file) {
        throw std::runtime_error("cannot open " + path + ": " + sf_strerror(nullptr));
    }
    result.samples.resize(static_cast<std::size_t>(result.info.frames * result.info.channels));
    if (result.info.frames > 0) {
        sf_readf_float(file.get(), result.samples.data(), result.info.frames);
    }
    return result;
}

}  // namespace pelkora::test
