// What reading one key of a settings file costs when the file is large: the
// key behind a 50 MB section of short lines (a file a logger has filled), and
// the same key at the top. The content is streamed in the store's block size
// from memory, so the figures are the line scanning, not the disk.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "core/settings/ByteSource.h"
#include "core/settings/IniLineReader.h"
#include "core/settings/IniText.h"

namespace pelkora {
namespace {

constexpr std::size_t kFillerBytes = 50u << 20;

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(const std::string& content) : content_(content) {}
    std::optional<std::size_t> read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, content_.size() - offset_);
        std::memcpy(buffer, content_.data() + offset_, count);
        offset_ += count;
        return count;
    }

  private:
    const std::string& content_;
    std::size_t offset_ = 0;
};

std::string settingsFile(bool keyFirst) {
    const std::string key = "[Config]\r\nPTTLine=2\r\n";
    std::string content = keyFirst ? key : "";
    content += "[QSO]\r\n";
    for (int i = 0; content.size() < kFillerBytes; ++i) {
        content += "Key" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
    }
    return keyFirst ? content : content + key;
}

void findPttLine(benchmark::State& state, bool keyFirst) {
    const std::string content = settingsFile(keyFirst);
    for (auto _ : state) {
        MemorySource source(content);
        IniLineReader lines(source);
        benchmark::DoNotOptimize(IniText::find(lines, "Config", "PTTLine"));
    }
}

void BM_IniFindBehind50MB(benchmark::State& state) {
    findPttLine(state, false);
}
void BM_IniFindAtTheTop(benchmark::State& state) {
    findPttLine(state, true);
}

BENCHMARK(BM_IniFindBehind50MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniFindAtTheTop)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pelkora
