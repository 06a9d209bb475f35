#include "platform/sndfile/SoundFileTools.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "core/recording/TakeShapeMath.h"
#include "platform/posix/CaseBlindPath.h"
#include "platform/sndfile/LinearResampler.h"
#include "platform/sndfile/LoudnessMeter.h"
#include "platform/sndfile/MonoSoundReader.h"
#include "platform/sndfile/TakeWriter.h"

namespace pelkora {
namespace {

// Measuring streams the file, so anything the player takes can be measured.
constexpr std::int64_t kLongestMeasuredSeconds = 30 * 60;
// Trimming and normalising hold the take in memory: a voice message is
// seconds long, and ten minutes of 48 kHz is still only about 115 MB.
constexpr std::int64_t kLongestEditedSeconds = 10 * 60;
constexpr std::int64_t kReadBlock = 8192;
// libebur128 and other meters estimate the true peak from differently
// oversampled signals and disagree by a few tenths of a dB; this keeps the
// take under the ceiling whichever one measures it.
constexpr double kTruePeakHeadroomDb = 0.3;
// Takes shorter than this are measured repeated to at least kRepeatedToSeconds.
constexpr double kRepeatedToSeconds = 10.0;
// Too short to be heard as anything but a click, and to measure at all.
constexpr std::size_t kShortestTakeMs = 20;
// A gain this small is not worth a rewrite (and the undo copy it replaces).
constexpr double kNegligibleGainDb = 0.05;

bool fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
    return false;
}

struct MonoTake {
    int rate = 0;
    std::vector<float> samples;
};

// A take below the rate a recording is written at (an old 8 kHz file) is
// brought up to it; nothing is lost and the file stays playable everywhere.
void raiseRate(MonoTake& take) {
    if (take.rate >= TakeWriter::kLowestRate || take.rate <= 0) {
        return;
    }
    const std::vector<float> source = std::move(take.samples);
    std::size_t position = 0;
    LinearResampler resampler(
        take.rate, TakeWriter::kLowestRate, static_cast<std::int64_t>(source.size()),
        [&](float* mono, std::int64_t count) {
            const auto n = std::min(static_cast<std::size_t>(count), source.size() - position);
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(position), n, mono);
            position += n;
            return static_cast<std::int64_t>(n);
        });
    take.samples.assign(static_cast<std::size_t>(resampler.outputFrames()), 0.0f);
    resampler.read(take.samples.data(), resampler.outputFrames());
    take.rate = TakeWriter::kLowestRate;
}

std::optional<MonoTake> readTake(const std::string& path, std::int64_t longestSeconds,
                                 std::string* error) {
    std::string why;
    std::unique_ptr<MonoSoundReader> reader = MonoSoundReader::open(path, longestSeconds, &why);
    if (!reader) {
        fail(error, why);
        return std::nullopt;
    }
    MonoTake take{reader->rate(), {}};
    take.samples.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, reader->frames())));
    std::vector<float> block(kReadBlock);
    for (;;) {
        const std::int64_t got = reader->read(block.data(), kReadBlock);
        if (got <= 0) {
            break;
        }
        take.samples.insert(take.samples.end(), block.begin(), block.begin() + got);
    }
    TakeShapeMath::replaceNonFinite(take.samples);
    raiseRate(take);
    return take;
}

// Already what a take is written as: no rewrite needed to change the format.
bool isMonoPcm16Wav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(CaseBlindPath::resolve(path).c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return false;
    }
    sf_close(file);
    return info.channels == 1 && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
           (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
}

bool writeTake(const std::string& path, const MonoTake& take, std::string* error) {
    TakeWriter writer;
    return writer.open(path, take.rate, error) &&
           writer.write(take.samples.data(), static_cast<std::int64_t>(take.samples.size()),
                        error) &&
           writer.finish(error);
}

std::string silentMessage() {
    return "silent: nothing in it reaches " +
           std::to_string(static_cast<int>(TakeShapeMath::kSilenceFloorDbfs)) + " dBFS";
}

// A character file is shorter than one 400 ms loudness block, or only a few
// blocks long, where meters disagree on the partial blocks at either end. It
// is heard one after another in a spelled call, so its loudness is taken as
// that of the take played over and over.
void addRepeated(LoudnessMeter& meter, const std::vector<float>& samples, int rate) {
    if (samples.size() < static_cast<std::size_t>(rate) * kShortestTakeMs / 1000) {
        return;
    }
    const auto enough = static_cast<std::size_t>(kRepeatedToSeconds * rate);
    for (std::size_t fed = 0; fed == 0 || fed < enough; fed += samples.size()) {
        meter.add(samples);
    }
}

// The gain that brings samples to the target, or why there is none.
std::optional<double> gainFor(const std::vector<float>& samples, int rate, std::string* error) {
    if (TakeShapeMath::toDb(TakeShapeMath::samplePeak(samples)) <
        TakeShapeMath::kSilenceFloorDbfs) {
        fail(error, silentMessage());
        return std::nullopt;
    }
    std::optional<LoudnessMeter> meter = LoudnessMeter::create(rate);
    if (!meter) {
        fail(error, "its rate of " + std::to_string(rate) + " Hz cannot be measured");
        return std::nullopt;
    }
    addRepeated(*meter, samples, rate);
    const std::optional<double> loudness = meter->integratedLufs();
    const std::optional<double> truePeak = meter->truePeakDbtp();
    const std::optional<double> gain = TakeShapeMath::gainDb(
        loudness.value_or(NAN), truePeak.value_or(NAN), SoundFileTools::kTargetLufs,
        SoundFileTools::kTruePeakCeilingDbtp - kTruePeakHeadroomDb);
    if (!gain) {
        fail(error, "too short or too quiet to measure its loudness");
    }
    return gain;
}

void applyGain(std::vector<float>& samples, double gainDb) {
    const auto factor = static_cast<float>(TakeShapeMath::fromDb(gainDb));
    for (float& sample : samples) {
        sample *= factor;
    }
}

// Cuts the silence around the sound; false, with the reason, when it is all silence.
bool cutSilence(MonoTake& take, bool* cut, std::string* error) {
    const std::optional<FrameRange> bounds = TakeShapeMath::soundBounds(take.samples, take.rate);
    if (!bounds) {
        return fail(error, silentMessage());
    }
    *cut = bounds->begin > 0 || bounds->end < take.samples.size();
    take.samples.erase(take.samples.begin() + static_cast<std::ptrdiff_t>(bounds->end),
                       take.samples.end());
    take.samples.erase(take.samples.begin(),
                       take.samples.begin() + static_cast<std::ptrdiff_t>(bounds->begin));
    return true;
}

struct Edit {
    bool trim = false;
    bool normalise = false;
};

bool rewrite(const std::string& path, Edit edit, bool* changed, std::string* error) {
    *changed = false;
    std::optional<MonoTake> take = readTake(path, kLongestEditedSeconds, error);
    if (!take) {
        return false;
    }
    bool cut = false;
    if (edit.trim && !cutSilence(*take, &cut, error)) {
        return false;
    }
    double gain = 0;
    if (edit.normalise) {
        const std::optional<double> found = gainFor(take->samples, take->rate, error);
        if (!found) {
            return false;
        }
        gain = *found;
    }
    if (!cut && std::fabs(gain) < kNegligibleGainDb && isMonoPcm16Wav(path)) {
        return true;
    }
    applyGain(take->samples, gain);
    *changed = writeTake(path, *take, error);
    return *changed;
}

bool isPlainWavName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.size() < 5) {
        return false;
    }
    std::string suffix = name.substr(name.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix == ".wav";
}

}  // namespace

std::optional<SoundFileFacts> SoundFileTools::measure(const std::string& path, std::string* error) {
    std::string why;
    std::unique_ptr<MonoSoundReader> reader =
        MonoSoundReader::open(path, kLongestMeasuredSeconds, &why);
    if (!reader) {
        fail(error, why);
        return std::nullopt;
    }
    std::optional<LoudnessMeter> meter = LoudnessMeter::create(reader->rate());
    if (!meter) {
        fail(error, "its rate of " + std::to_string(reader->rate()) + " Hz cannot be measured");
        return std::nullopt;
    }
    // A short file is held whole, to be measured repeated as a take is.
    const auto shortFrames = static_cast<std::size_t>(kRepeatedToSeconds * reader->rate());
    std::vector<float> head;
    std::vector<float> block(kReadBlock);
    std::int64_t frames = 0;
    bool streaming = false;
    for (std::int64_t got = 0; (got = reader->read(block.data(), kReadBlock)) > 0;) {
        const std::span<float> read(block.data(), static_cast<std::size_t>(got));
        TakeShapeMath::replaceNonFinite(read);
        frames += got;
        if (!streaming && head.size() + read.size() <= shortFrames) {
            head.insert(head.end(), read.begin(), read.end());
            continue;
        }
        if (!streaming) {
            meter->add(head);
            streaming = true;
        }
        meter->add(read);
    }
    if (!streaming) {
        addRepeated(*meter, head, reader->rate());
    }
    SoundFileFacts facts;
    facts.seconds = static_cast<double>(frames) / reader->rate();
    facts.peakDbfs = TakeShapeMath::toDb(meter->samplePeak());
    facts.loudnessLufs = meter->integratedLufs().value_or(TakeShapeMath::kNoLevelDb);
    return facts;
}

void SoundFileTools::shapeTake(std::vector<float>& samples, int rate, bool trimSilence) {
    TakeShapeMath::replaceNonFinite(samples);
    MonoTake take{rate, std::move(samples)};
    bool cut = false;
    // A silent take is left as it is: whoever recorded it hears it back and decides.
    if (!trimSilence || cutSilence(take, &cut, nullptr)) {
        if (const std::optional<double> gain = gainFor(take.samples, rate, nullptr)) {
            applyGain(take.samples, *gain);
        }
    }
    samples = std::move(take.samples);
}

std::optional<double> SoundFileTools::loudnessOf(const std::vector<float>& samples, int rate) {
    std::optional<LoudnessMeter> meter = LoudnessMeter::create(rate);
    if (!meter) {
        return std::nullopt;
    }
    addRepeated(*meter, samples, rate);
    return meter->integratedLufs();
}

bool SoundFileTools::trim(const std::string& path, std::string* error) {
    bool changed = false;
    return rewrite(path, Edit{.trim = true}, &changed, error);
}

bool SoundFileTools::normalise(const std::string& path, std::string* error) {
    bool changed = false;
    return rewrite(path, Edit{.normalise = true}, &changed, error);
}

std::vector<SoundFileResult> SoundFileTools::normaliseAll(const std::string& directory,
                                                          std::string* error, bool trimSilence) {
    namespace fs = std::filesystem;
    std::error_code failure;
    std::vector<std::string> names;
    for (fs::directory_iterator it(directory, failure), end; !failure && it != end;
         it.increment(failure)) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (isPlainWavName(name) && it->is_regular_file(kind)) {
            names.push_back(name);
        }
    }
    if (failure) {
        fail(error, directory + ": " + failure.message());
        return {};
    }
    std::sort(names.begin(), names.end());
    std::vector<SoundFileResult> results;
    for (const std::string& name : names) {
        SoundFileResult result{name, false, false, {}};
        result.ok = rewrite(directory + "/" + name, Edit{.trim = trimSilence, .normalise = true},
                            &result.changed, &result.error);
        results.push_back(std::move(result));
    }
    return results;
}

}  // namespace pelkora
