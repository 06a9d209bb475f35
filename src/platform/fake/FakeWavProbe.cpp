#include "platform/fake/FakeWavProbe.h"

namespace pelkora {

void FakeWavProbe::setFile(const std::string& path, std::uint64_t sizeBytes,
                           std::uint32_t bytesPerSecond, double decodedMs) {
    WavFacts facts;
    facts.sizeBytes = sizeBytes;
    facts.bytesPerSecond = bytesPerSecond;
    facts.decodedSeconds = decodedMs / 1000.0;
    facts_[path] = facts;
}

std::optional<WavFacts> FakeWavProbe::probe(const std::string& path) {
    const auto found = facts_.find(path);
    if (found == facts_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace pelkora
