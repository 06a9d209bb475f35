#include "platform/speech/SpeechSynthesiser.h"

#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <utility>

namespace pelkora {
namespace {

std::atomic<bool> engineTaken{false};

void fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
}

// eSpeak hands the sound over block by block; user_data of the events is the
// vector that speak() collects into.
int collectSamples(short* wav, int count, espeak_EVENT* events) {
    if (wav == nullptr || count <= 0 || events == nullptr || events->user_data == nullptr) {
        return 0;
    }
    auto* samples = static_cast<std::vector<float>*>(events->user_data);
    for (int index = 0; index < count; ++index) {
        samples->push_back(static_cast<float>(wav[index]) / 32768.0f);
    }
    return 0;
}

}  // namespace

std::unique_ptr<SpeechSynthesiser> SpeechSynthesiser::create(const std::string& voice,
                                                             std::string* error) {
    if (engineTaken.exchange(true)) {
        fail(error, "a speech synthesiser is already in use");
        return nullptr;
    }
    // Without DONT_EXIT eSpeak ends the whole process when its data is missing.
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0) {
        engineTaken = false;
        fail(error, "eSpeak NG cannot start: is its data installed (Debian espeak-ng-data)?");
        return nullptr;
    }
    std::unique_ptr<SpeechSynthesiser> synthesiser(new SpeechSynthesiser(rate));
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) {
        fail(error, "eSpeak NG has no voice \"" + voice + "\"");
        return nullptr;
    }
    espeak_SetSynthCallback(collectSamples);
    return synthesiser;
}

SpeechSynthesiser::~SpeechSynthesiser() {
    espeak_Terminate();
    engineTaken = false;
}

std::optional<std::vector<float>> SpeechSynthesiser::speak(const std::string& text,
                                                           std::string* error) {
    std::vector<float> samples;
    const espeak_ERROR status = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                             espeakCHARS_UTF8, nullptr, &samples);
    if (status != EE_OK || espeak_Synchronize() != EE_OK) {
        fail(error, "eSpeak NG failed to speak \"" + text + "\"");
        return std::nullopt;
    }
    if (samples.empty()) {
        fail(error, "eSpeak NG said nothing for \"" + text + "\"");
        return std::nullopt;
    }
    return samples;
}

}  // namespace pelkora
