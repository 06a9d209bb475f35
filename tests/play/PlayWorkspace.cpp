#include "play/PlayWorkspace.h"

#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <stdexcept>

namespace pelkora::test {
namespace {

using SoundFilePtr = std::unique_ptr<SNDFILE, decltype(&sf_close)>;
constexpr double kTonePeriodFrames = 32.0;  // 250 Hz at 8000 Hz

}  // namespace

PlayWorkspace::PlayWorkspace() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pelkora-play-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    path_ = pattern;
}

PlayWorkspace::~PlayWorkspace() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

float PlayWorkspace::toneSample(float amplitude, std::int64_t frame) {
    const double phase = 2.0 * std::numbers::pi * static_cast<double>(frame) / kTonePeriodFrames;
    return amplitude * static_cast<float>(std::sin(phase));
}

float PlayWorkspace::renderedToneSample(float amplitude, std::int64_t frame) {
    const std::int64_t before = std::min(frame / 2, kToneFrames - 1);
    const std::int64_t after = std::min(before + 1, kToneFrames - 1);
    return frame % 2 == 0 || before == after
               ? toneSample(amplitude, before)
               : (toneSample(amplitude, before) + toneSample(amplitude, after)) / 2.0f;
}

void PlayWorkspace::writeTone(const std::string& relative, float amplitude) const {
    std::filesystem::create_directories(std::filesystem::path(file(relative)).parent_path());
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const SoundFilePtr sound(sf_open(file(relative).c_str(), SFM_WRITE, &info), &sf_close);
    if (!sound) {
        throw std::runtime_error("cannot create " + file(relative));
    }
    std::vector<float> samples;
    for (std::int64_t frame = 0; frame < kToneFrames; ++frame) {
        samples.push_back(toneSample(amplitude, frame));
    }
    if (sf_writef_float(sound.get(), samples.data(), kToneFrames) != kToneFrames) {
        throw std::runtime_error("cannot write " + file(relative));
    }
}

void PlayWorkspace::writeText(const std::string& relative, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(file(relative)).parent_path());
    std::ofstream out(file(relative), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file(relative));
    }
}

void PlayWorkspace::makeDirectory(const std::string& relative) const {
    std::filesystem::create_directories(file(relative));
}

bool PlayWorkspace::exists(const std::string& relative) const {
    return std::filesystem::exists(file(relative));
}

PlayWorkspace::Rendering PlayWorkspace::read(const std::string& relative) const {
    SF_INFO info{};
    const SoundFilePtr sound(sf_open(file(relative).c_str(), SFM_READ, &info), &sf_close);
    if (!sound) {
        throw std::runtime_error("cannot open " + file(relative) + ": " + sf_strerror(nullptr));
    }
    Rendering rendering{info.samplerate, info.channels, {}};
    rendering.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    if (info.frames > 0 &&
        sf_readf_float(sound.get(), rendering.samples.data(), info.frames) != info.frames) {
        throw std::runtime_error("short read of " + file(relative));
    }
    return rendering;
}

}  // namespace pelkora::test
