#include "pulse/SoundFiles.h"

#include <sndfile.h>

#include <memory>
#include <stdexcept>
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

}  // namespace pelkora::test
