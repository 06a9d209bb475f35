// What reading one key of a settings file costs when the file is large: the
// key behind a 50 MB section of short lines (a file a logger has filled), and
// the same key at the top. The content is streamed in the store's block size
// from memory, so the figures are the line scanning, not the disk. The same
// for a file whose lines end in a lone CR.
//
// Then what saving the macro editor costs on a real file (25 keys): key by
// key, each a read, a temporary file, two syncs and a rename, against all
// keys in one pass. These figures are the disk's: run them where the
// settings live (TMPDIR picks the directory).

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/ByteSource.h"
#include "core/settings/IniLineReader.h"
#include "core/settings/IniText.h"
#include "platform/posix/IniFileStore.h"

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

std::string settingsFile(bool keyFirst, const std::string& eol = "\r\n") {
    const std::string key = "[Config]" + eol + "PTTLine=2" + eol;
    std::string content = keyFirst ? key : "";
    content += "[QSO]" + eol;
    for (int i = 0; content.size() < kFillerBytes; ++i) {
        content += "Key" + std::to_string(i) + "=value " + std::to_string(i) + eol;
    }
    return keyFirst ? content : content + key;
}

void findPttLine(benchmark::State& state, bool keyFirst, const std::string& eol = "\r\n") {
    const std::string content = settingsFile(keyFirst, eol);
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

void BM_IniFindBehind50MBOfCrLines(benchmark::State& state) {
    findPttLine(state, false, "\r");
}

BENCHMARK(BM_IniFindBehind50MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniFindAtTheTop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IniFindBehind50MBOfCrLines)->Unit(benchmark::kMillisecond);

// A settings directory of its own, holding a pelkora.ini as the keyer leaves it.
class SettingsDirectory {
  public:
    SettingsDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pelkora-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
        std::string content =
            "[Config]\r\nPTTPort=1\r\nPTTLine=1\r\n\r\n[Paths]\r\nSoundDir=/s/\r\n";
        std::ofstream(path_ + "/pelkora.ini", std::ios::binary) << content;
    }
    ~SettingsDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// What the macro editor's Save stores; round changes every value, so that
// no write is skipped as changing nothing.
std::vector<ProfileEntry> macroFormSave(int round) {
    const std::string tag = std::to_string(round);
    std::vector<ProfileEntry> entries{{"Paths", "SoundDir", "/home/op/sound" + tag + "/"}};
    for (int key = 1; key <= 12; ++key) {
        entries.push_back({"Macroses", "Macro" + std::to_string(key), "~[f" + tag + ".wav]"});
    }
    for (int key = 1; key <= 12; ++key) {
        entries.push_back({"Buttons", "Caption" + std::to_string(key), "CQ " + tag});
    }
    return entries;
}

void BM_SaveMacrosKeyByKey(benchmark::State& state) {
    const SettingsDirectory dir;
    IniFileStore store(dir.path());
    int round = 0;
    for (auto _ : state) {
        for (const ProfileEntry& e : macroFormSave(++round)) {
            store.writeString("pelkora.ini", e.section, e.key, e.value);
        }
    }
}

void BM_SaveMacrosOnePass(benchmark::State& state) {
    const SettingsDirectory dir;
    IniFileStore store(dir.path());
    int round = 0;
    for (auto _ : state) {
        store.writeStrings("pelkora.ini", macroFormSave(++round));
    }
}

BENCHMARK(BM_SaveMacrosKeyByKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveMacrosOnePass)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelkora
