// libFuzzer target: the sound-file probe and the decoders on arbitrary bytes,
// read through libsndfile from a real file as the players read a recording.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "TempInputFile.h"
#include "platform/sndfile/DecodedSound.h"
#include "platform/sndfile/MonoSoundReader.h"
#include "platform/sndfile/SndfileWavProbe.h"
#include "platform/sndfile/SoundStream.h"

namespace {

using pelkora::fuzz::check;

// The longest recording the players accept.
constexpr std::int64_t kLongestSeconds = 30 * 60;
constexpr std::int64_t kBlockFrames = 4096;

void checkProbe(const std::string& path, std::size_t size) {
    pelkora::SndfileWavProbe probe;
    const auto facts = probe.probe(path);
    if (!facts) {
        return;
    }
    check(size >= 32, "a probed file is at least 32 bytes long");
    check(facts->sizeBytes <= size && facts->sizeBytes % 4 == 0,
          "the probed size is the file size in whole 4-byte records");
    if (facts->decodedSeconds) {
        check(std::isfinite(*facts->decodedSeconds) && *facts->decodedSeconds >= 0,
              "a decoded length is a finite, non-negative number of seconds");
    }
}

void checkDecode(const std::string& path) {
    const auto sound = pelkora::DecodedSound::load(path, kLongestSeconds);
    if (!sound) {
        return;
    }
    check(sound->rate > 0 && sound->channels > 0, "a decoded sound has a rate and channels");
    check(!sound->samples.empty() && sound->samples.size() % sound->channels == 0,
          "a decoded sound holds whole frames");
    check(sound->frames() <= kLongestSeconds * sound->rate,
          "a decoded sound is no longer than allowed");
}

void checkStream(const std::string& path) {
    const auto stream = pelkora::SoundStream::open(path, kLongestSeconds, nullptr);
    if (!stream) {
        return;
    }
    check(stream->rate() > 0 && stream->channels() > 0 &&
              stream->channels() <= pelkora::SoundStream::kMostChannels,
          "an open stream has a rate and a sane channel count");
    std::vector<float> block(static_cast<std::size_t>(kBlockFrames * stream->channels()));
    std::int64_t total = 0;
    for (std::int64_t got = 0; (got = stream->read(block.data(), kBlockFrames)) > 0;) {
        check(got <= kBlockFrames, "a stream read fills no more than it was given");
        total += got;
        check(total <= kLongestSeconds * stream->rate(), "a stream ends within the longest length");
    }
    check(total >= 1, "an open stream yields at least the frame that proved it readable");
}

void checkMono(const std::string& path) {
    const auto reader = pelkora::MonoSoundReader::open(path, kLongestSeconds, nullptr);
    if (!reader) {
        return;
    }
    check(reader->rate() > 0, "an open reader has a rate");
    std::vector<float> block(static_cast<std::size_t>(kBlockFrames));
    std::int64_t total = 0;
    for (std::int64_t got = 0; (got = reader->read(block.data(), kBlockFrames)) > 0;) {
        check(got <= kBlockFrames, "a mono read fills no more than it was given");
        total += got;
        check(total <= kLongestSeconds * reader->rate(),
              "a mono read ends within the longest length");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const pelkora::fuzz::TempInputFile file("input.wav");
    file.write(data, size);
    checkProbe(file.path(), size);
    checkDecode(file.path());
    checkStream(file.path());
    checkMono(file.path());
    return 0;
}
