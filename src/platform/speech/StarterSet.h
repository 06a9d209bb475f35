#pragma once

#include <string>
#include <vector>

namespace pelkora {

// One file of the starter set and what it says.
struct StarterFile {
    std::string name;
    std::string text;
};

// What became of one file of the starter set.
struct StarterResult {
    enum class Outcome { Made, Kept, Failed };

    std::string name;
    Outcome outcome = Outcome::Failed;
    std::string error;
};

// A spoken set of the files the keyer spells with, so that a new sound
// directory plays speech before the operator has recorded a word: each
// letter as its ITU phonetic word, each digit, the stroke, and a CQ call.
// Each is trimmed and brought to the common loudness like a recorded take
// and written the same way.
// Threading: one thread at a time (one speech synthesiser per process).
class StarterSet {
  public:
    // Named as the keyer spells a call: "A.wav" .. "Z.wav", "0.wav" ..
    // "9.wav", "stroke.wav", then "cq.wav".
    static const std::vector<StarterFile>& files();

    // Creates the directory if need be and writes the set into it, in the
    // order of files(). A file already there under any case of its name is
    // kept unless onlyMissing is false. Empty, with the reason, when the
    // directory cannot be made or speech cannot start.
    static std::vector<StarterResult> make(const std::string& soundDir, bool onlyMissing,
                                           std::string* error);
};

}  // namespace pelkora
