#pragma once

#include <string>
#include <utility>

#include "platform/TakeRecorder.h"
#include "platform/pulse/PulseRecorder.h"

namespace pelkora {

// A take recorder on the station's sound-server connection, from the source
// the settings name (empty: the server's default source).
// Threading: loop thread only, as PulseRecorder.
class PulseTakeRecorder : public TakeRecorder {
  public:
    PulseTakeRecorder(LoopPoster& poster, PulseConnection& connection, std::string sourceName)
        : recorder_(poster, connection, std::move(sourceName)) {}

    void setOnEnded(Ended ended) override { recorder_.onTakeEnded = std::move(ended); }
    bool start(const std::string& path, std::string* error) override {
        return recorder_.start(path, error);
    }
    bool stop(std::string* error) override { return recorder_.stop(error); }
    void cancel() override { recorder_.cancel(); }
    bool isRecording() const override { return recorder_.isRecording(); }
    std::int32_t readPeak() override { return recorder_.readPeak(); }

  private:
    PulseRecorder recorder_;
};

}  // namespace pelkora
