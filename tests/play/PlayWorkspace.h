#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelkora::test {

// A fresh directory (removed with everything in it) where a player run finds its
// sound files and settings and leaves its rendering. Threading: one test thread.
class PlayWorkspace {
  public:
    static constexpr int kRate = 8000;
    static constexpr std::int64_t kToneFrames = 2400;  // 300 ms, 4844 bytes as 16-bit mono
    // A rendering is at 16 kHz: each tone is upsampled to twice its frames.
    static constexpr int kRenderRate = 16000;
    static constexpr std::int64_t kRenderedToneFrames = 2 * kToneFrames;

    struct Rendering {
        int rate = 0;
        int channels = 0;
        std::vector<float> samples;
    };

    PlayWorkspace();
    ~PlayWorkspace();
    PlayWorkspace(const PlayWorkspace&) = delete;
    PlayWorkspace& operator=(const PlayWorkspace&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }

    // A 300 ms tone whose amplitude tells it apart in a rendering.
    void writeTone(const std::string& relative, float amplitude) const;
    void writeText(const std::string& relative, const std::string& bytes) const;
    void makeDirectory(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    Rendering read(const std::string& relative) const;

    // Sample `frame` of a tone of the given amplitude.
    static float toneSample(float amplitude, std::int64_t frame);
    // Frame `frame` of such a tone in a rendering: every other frame lies
    // halfway between two of the tone's, the last one is held.
    static float renderedToneSample(float amplitude, std::int64_t frame);

  private:
    std::string path_;
};

}  // namespace pelkora::test
