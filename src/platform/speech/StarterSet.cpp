#include "platform/speech/StarterSet.h"

#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "core/recording/TakeShapeMath.h"
#include "platform/posix/CaseBlindPath.h"
#include "platform/sndfile/SoundFileTools.h"
#include "platform/sndfile/TakeWriter.h"
#include "platform/speech/SpeechSynthesiser.h"

namespace pelkora {
namespace {

constexpr std::array<const char*, 26> kPhonetic = {
    "Alfa",    "Bravo", "Charlie", "Delta",  "Echo",     "Foxtrot", "Golf",   "Hotel",  "India",
    "Juliett", "Kilo",  "Lima",    "Mike",   "November", "Oscar",   "Papa",   "Quebec", "Romeo",
    "Sierra",  "Tango", "Uniform", "Victor", "Whiskey",  "X-ray",   "Yankee", "Zulu"};
constexpr std::array<const char*, 10> kDigits = {"zero", "one", "two",   "three", "four",
                                                 "five", "six", "seven", "eight", "nine"};

std::vector<StarterFile> allFiles() {
    std::vector<StarterFile> files;
    for (std::size_t index = 0; index < kPhonetic.size(); ++index) {
        files.push_back(
            {std::string(1, static_cast<char>('A' + index)) + ".wav", kPhonetic[index]});
    }
    for (std::size_t index = 0; index < kDigits.size(); ++index) {
        files.push_back({std::string(1, static_cast<char>('0' + index)) + ".wav", kDigits[index]});
    }
    files.push_back({"stroke.wav", "stroke"});
    files.push_back({"cq.wav", "C Q, C Q contest"});
    return files;
}

// As the keyer looks it up: a.wav stands for A.wav.
bool existsForTheKeyer(const std::string& path) {
    struct stat status {};
    return ::stat(CaseBlindPath::resolve(path).c_str(), &status) == 0;
}

// Synthetic speech peaks so far above its loudness that its peaks would hold
// it under the target; a set that spells calls must be even, so its peaks are
// limited until the target fits under the ceiling.
void bringToTarget(std::vector<float>& samples, int rate) {
    constexpr int kRounds = 4;
    constexpr double kLimitUnderCeilingDb = 2.0;
    constexpr double kCloseEnoughDb = 0.1;
    SoundFileTools::shapeTake(samples, rate);
    for (int round = 0; round < kRounds; ++round) {
        const std::optional<double> loudness = SoundFileTools::loudnessOf(samples, rate);
        if (!loudness || SoundFileTools::kTargetLufs - *loudness < kCloseEnoughDb) {
            break;
        }
        const auto gain =
            static_cast<float>(TakeShapeMath::fromDb(SoundFileTools::kTargetLufs - *loudness));
        for (float& sample : samples) {
            sample *= gain;
        }
        TakeShapeMath::limitPeaks(
            samples, rate,
            TakeShapeMath::fromDb(SoundFileTools::kTruePeakCeilingDbtp - kLimitUnderCeilingDb));
    }
    SoundFileTools::shapeTake(samples, rate, false);
}

bool writeSpoken(SpeechSynthesiser& speech, const StarterFile& file, const std::string& path,
                 std::string* error) {
    std::optional<std::vector<float>> samples = speech.speak(file.text, error);
    if (!samples) {
        return false;
    }
    bringToTarget(*samples, speech.rate());
    TakeWriter writer;
    return writer.open(path, speech.rate(), error) &&
           writer.write(samples->data(), static_cast<std::int64_t>(samples->size()), error) &&
           writer.finish(error);
}

}  // namespace

const std::vector<StarterFile>& StarterSet::files() {
    static const std::vector<StarterFile> files = allFiles();
    return files;
}

std::vector<StarterResult> StarterSet::make(const std::string& soundDir, bool onlyMissing,
                                            std::string* error) {
    std::error_code failure;
    std::filesystem::create_directories(soundDir, failure);
    if (failure) {
        if (error != nullptr) {
            *error = soundDir + ": " + failure.message();
        }
        return {};
    }
    std::unique_ptr<SpeechSynthesiser> speech;
    std::vector<StarterResult> results;
    for (const StarterFile& file : files()) {
        // An existing file is replaced under the name it has (a.wav for A.wav).
        const std::string path = CaseBlindPath::resolve(soundDir + "/" + file.name);
        StarterResult result{file.name, StarterResult::Outcome::Kept, {}};
        if (!onlyMissing || !existsForTheKeyer(path)) {
            // Started only when a file is to be made: a full set needs no speech.
            if (!speech && !(speech = SpeechSynthesiser::create("en", error))) {
                return {};
            }
            result.outcome = writeSpoken(*speech, file, path, &result.error)
                                 ? StarterResult::Outcome::Made
                                 : StarterResult::Outcome::Failed;
        }
        results.push_back(std::move(result));
    }
    return results;
}

}  // namespace pelkora
