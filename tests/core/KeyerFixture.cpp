#include "KeyerFixture.h"

namespace pelkora::test {

std::vector<std::string> EventRecorder::only(std::initializer_list<const char*> prefixes) const {
    std::vector<std::string> picked;
    for (const std::string& event : events) {
        const std::string what = event.substr(event.find(' ') + 1);
        for (const char* prefix : prefixes) {
            if (what.rfind(prefix, 0) == 0) {
                picked.push_back(event);
                break;
            }
        }
    }
    return picked;
}

KeyerFixture::KeyerFixture() {
    engine.setSoundDir("snd/");
}

void KeyerFixture::addFile(const std::string& name, std::int64_t audioMs) {
    const std::string path = "snd/" + name;
    const std::uint64_t size = 44 + static_cast<std::uint64_t>(audioMs) * 16;
    probe.setFile(path, size, 16000, static_cast<double>(audioMs));
    sound.setDuration(path, audioMs);
}

std::vector<std::string> KeyerFixture::played() const {
    std::vector<std::string> names;
    for (const std::string& event : recorder.only({"play "})) {
        std::string line = event;
        line.erase(line.find("snd/"), 4);
        names.push_back(line);
    }
    return names;
}

}  // namespace pelkora::test
