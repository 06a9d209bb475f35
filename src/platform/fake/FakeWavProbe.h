#pragma once

#include <map>
#include <string>

#include "platform/WavProbe.h"

namespace pelkora {

// WAV facts from a table instead of files; unknown paths cannot be read.
class FakeWavProbe : public WavProbe {
  public:
    void setFacts(const std::string& path, WavFacts facts) { facts_[path] = facts; }
    // A canonical file of the given header size and rate whose audio is
    // `decodedMs` long.
    void setFile(const std::string& path, std::uint64_t sizeBytes, std::uint32_t bytesPerSecond,
                 double decodedMs);

    std::optional<WavFacts> probe(const std::string& path) override;

  private:
    std::map<std::string, WavFacts> facts_;
};

}  // namespace pelkora
