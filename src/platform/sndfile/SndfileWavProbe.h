#pragma once

#include <optional>
#include <string>

#include "platform/WavProbe.h"

namespace pelkora {

// Reads the header facts with two small POSIX reads and asks libsndfile only
// for the decodable length, so a probe never reads the audio itself and a huge
// or sparse file costs nothing.
// Threading: called only on the loop thread; it keeps no state between calls.
class SndfileWavProbe : public WavProbe {
  public:
    std::optional<WavFacts> probe(const std::string& path) override;
};

}  // namespace pelkora
