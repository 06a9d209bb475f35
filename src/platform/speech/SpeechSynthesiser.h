#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelkora {

// Text spoken by eSpeak NG into mono float samples, in memory. eSpeak keeps
// one engine per process, so only one synthesiser may exist at a time.
// Threading: one thread at a time; eSpeak runs synchronously inside speak().
class SpeechSynthesiser {
  public:
    // Nothing, with the reason, when eSpeak cannot start (its data or the
    // voice missing) or another synthesiser exists.
    static std::unique_ptr<SpeechSynthesiser> create(const std::string& voice, std::string* error);
    ~SpeechSynthesiser();
    SpeechSynthesiser(const SpeechSynthesiser&) = delete;
    SpeechSynthesiser& operator=(const SpeechSynthesiser&) = delete;

    // The rate of every sound speak() returns (eSpeak's own, usually 22050 Hz).
    int rate() const { return rate_; }
    // The text spoken; nothing, with the reason, when eSpeak fails or says nothing.
    std::optional<std::vector<float>> speak(const std::string& text, std::string* error);

  private:
    explicit SpeechSynthesiser(int rate) : rate_(rate) {}

    int rate_;
};

}  // namespace pelkora
