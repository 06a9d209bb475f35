#include "platform/sndfile/MonoSoundReader.h"

#include <algorithm>
#include <utility>

namespace pelkora {
namespace {

// Bounds the decoding buffer whatever the channel count.
constexpr std::int64_t kBlockSamples = 8192;

}  // namespace

MonoSoundReader::MonoSoundReader(std::unique_ptr<SoundStream> stream)
    : stream_(std::move(stream)),
      interleaved_(static_cast<std::size_t>(
          std::max<std::int64_t>(1, kBlockSamples / stream_->channels()) * stream_->channels())) {}

std::unique_ptr<MonoSoundReader> MonoSoundReader::open(const std::string& path,
                                                       std::int64_t longestSeconds,
                                                       std::string* why) {
    std::unique_ptr<SoundStream> stream = SoundStream::open(path, longestSeconds, why);
    if (!stream) {
        return nullptr;
    }
    return std::make_unique<MonoSoundReader>(std::move(stream));
}

std::int64_t MonoSoundReader::read(float* mono, std::int64_t count) {
    const auto channels = static_cast<std::size_t>(stream_->channels());
    const auto blockFrames = static_cast<std::int64_t>(interleaved_.size() / channels);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t got =
            stream_->read(interleaved_.data(), std::min(count - done, blockFrames));
        if (got <= 0) {
            break;
        }
        for (std::size_t frame = 0; frame < static_cast<std::size_t>(got); ++frame) {
            float sum = 0.0f;
            for (std::size_t channel = 0; channel < channels; ++channel) {
                sum += interleaved_[frame * channels + channel];
            }
            mono[static_cast<std::size_t>(done) + frame] = sum / static_cast<float>(channels);
        }
        done += got;
    }
    return done;
}

}  // namespace pelkora
