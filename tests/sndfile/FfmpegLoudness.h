#pragma once

#include <optional>
#include <string>

namespace pelkora::test {

// Loudness of a file as ffmpeg's ebur128 filter measures it: a meter
// independent of the libebur128 the program uses.
struct FfmpegLoudness {
    double integratedLufs = 0;
    double truePeakDbtp = 0;

    static bool available();
    // Nothing when ffmpeg fails or its summary cannot be read. A file shorter
    // than repeatToSeconds is measured played over and over for that long,
    // as the keyer's tools measure a short take.
    static std::optional<FfmpegLoudness> of(const std::string& path, double repeatToSeconds = 10.0);
};

}  // namespace pelkora::test
