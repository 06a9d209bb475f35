#include "sndfile/FfmpegLoudness.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace pelkora::test {
namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string outputOf(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, got);
    }
    ::pclose(pipe);
    return out;
}

// The value after the last "key" in the text (the summary comes last).
std::optional<double> lastValueAfter(const std::string& text, const std::string& key) {
    const std::size_t at = text.rfind(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream in(text.substr(at + key.size()));
    double value = 0;
    if (!(in >> value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

bool FfmpegLoudness::available() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

std::optional<FfmpegLoudness> FfmpegLoudness::of(const std::string& path, double repeatToSeconds) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return std::nullopt;
    }
    sf_close(file);
    const double seconds = static_cast<double>(info.frames) / info.samplerate;
    const auto repeats = seconds > 0 ? static_cast<int>(std::ceil(repeatToSeconds / seconds)) : 1;
    const std::string summary =
        outputOf("ffmpeg -nostdin -hide_banner -nostats -stream_loop " +
                 std::to_string(std::max(0, repeats - 1)) + " -i " + quoted(path) +
                 " -filter_complex ebur128=peak=true -f null - 2>&1");
    const std::size_t start = summary.rfind("Summary:");
    if (start == std::string::npos) {
        return std::nullopt;
    }
    const std::string tail = summary.substr(start);
    const std::optional<double> integrated = lastValueAfter(tail, "I:");
    const std::optional<double> peak = lastValueAfter(tail, "Peak:");
    if (!integrated || !peak) {
        return std::nullopt;
    }
    return FfmpegLoudness{*integrated, *peak};
}

}  // namespace pelkora::test
