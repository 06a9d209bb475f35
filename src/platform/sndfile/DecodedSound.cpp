#include "platform/sndfile/DecodedSound.h"

#include <algorithm>
#include <memory>

#include "platform/sndfile/SoundStream.h"

namespace pelkora {
namespace {

constexpr std::int64_t kBlockFrames = 8192;
// What the header may make us reserve up front (64 MB); a longer file grows past it.
constexpr std::int64_t kMostReservedSamples = 16 * 1024 * 1024;

}  // namespace

std::optional<DecodedSound> DecodedSound::load(const std::string& path,
                                               std::int64_t longestSeconds) {
    const std::unique_ptr<SoundStream> stream = SoundStream::open(path, longestSeconds, nullptr);
    if (!stream) {
        return std::nullopt;
    }
    DecodedSound sound{stream->rate(), stream->channels(), {}};
    const auto channels = static_cast<std::size_t>(sound.channels);
    // Grown block by block as the samples come, never sized from the header
    // alone: a header may promise far more than the file holds.
    sound.samples.reserve(static_cast<std::size_t>(
        std::min(stream->frames(), kMostReservedSamples / sound.channels) * sound.channels));
    std::vector<float> block(static_cast<std::size_t>(kBlockFrames) * channels);
    for (;;) {
        const std::int64_t got = stream->read(block.data(), kBlockFrames);
        if (got <= 0) {
            break;
        }
        sound.samples.insert(
            sound.samples.end(), block.begin(),
            block.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(got) * channels));
    }
    return sound;
}

}  // namespace pelkora
