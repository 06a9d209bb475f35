#include "platform/sndfile/WavFileRenderer.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace pelkora {
namespace {

constexpr std::int64_t kFramesPerMs = WavFileRenderer::kOutputRate / 1000;
constexpr std::int64_t kRenderBlockFrames = 4096;
// Keeps frame arithmetic clear of overflow whatever time the scheduler shows.
constexpr std::int64_t kLatestMs = INT64_MAX / kFramesPerMs / 2;

std::int64_t frameAt(std::int64_t ms) {
    return std::clamp<std::int64_t>(ms, 0, kLatestMs) * kFramesPerMs;
}

std::int64_t durationMsRoundedUp(std::int64_t frames, std::int64_t rate) {
    return (frames * 1000 + rate - 1) / rate;
}

bool fail(std::string* error, std::string message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
    return false;
}

}  // namespace

WavFileRenderer::~WavFileRenderer() {
    // The pending task points at this object.
    if (pendingFinish_) {
        scheduler_.cancel(*pendingFinish_);
    }
}

bool WavFileRenderer::open(const std::string& outPath, std::string* error) {
    outputFailure_.clear();
    return writer_.open(outPath, static_cast<int>(kOutputRate), error);
}

std::int64_t WavFileRenderer::longestRenderMs() const {
    return WavBlockWriter::kLongestFrames / kFramesPerMs;
}

bool WavFileRenderer::close(std::int64_t endMs, std::string* error) {
    if (!outputFailure_.empty()) {
        return fail(error, outputFailure_);
    }
    if (!writer_.isOpen()) {
        return fail(error, "the output is not open");
    }
    if (endMs < 0 || endMs > longestRenderMs()) {
        writer_.discard();
        return fail(error, "cannot render " + std::to_string(endMs) + " ms: the longest is " +
                               std::to_string(longestRenderMs()) + " ms");
    }
    const std::int64_t endFrame = frameAt(endMs);
    if (current_) {
        render(*current_, endFrame - current_->startFrame);
    }
    std::string reason;
    const bool done = outputFailure_.empty() && writer_.truncate(endFrame, &reason) &&
                      writer_.writeSilence(endFrame - writer_.frames(), &reason) &&
                      writer_.finish(&reason);
    if (!done) {
        writer_.discard();
        return fail(error, outputFailure_.empty() ? reason : outputFailure_);
    }
    return true;
}

PlayStart WavFileRenderer::play(const std::string& path, FinishedCallback onFinished) {
    stop();
    std::string why;
    std::unique_ptr<MonoSoundReader> reader =
        MonoSoundReader::open(path, longestRenderMs() / 1000, &why);
    if (!reader) {
        return PlayStart::refused(why);
    }
    const std::int64_t rate = reader->rate();
    if (rate < kLowestFileRate || rate > kHighestFileRate) {
        return PlayStart::refused("sample rate " + std::to_string(rate) + " Hz, outside " +
                                  std::to_string(kLowestFileRate) + ".." +
                                  std::to_string(kHighestFileRate) + " Hz");
    }
    const std::int64_t durationMs = durationMsRoundedUp(reader->frames(), rate);
    MonoSoundReader* source = reader.get();
    auto resampler = std::make_unique<LinearResampler>(
        rate, kOutputRate, reader->frames(),
        [source](float* mono, std::int64_t count) { return source->read(mono, count); });
    current_ = Segment{std::move(reader), std::move(resampler), frameAt(scheduler_.nowMs())};
    onFinished_ = std::move(onFinished);
    pendingFinish_ = scheduler_.callAfter(durationMs, [this] { finish(); });
    return PlayStart::ok();
}

void WavFileRenderer::finish() {
    pendingFinish_.reset();
    if (current_) {
        render(*current_, current_->resampler->outputFrames());
        current_.reset();
    }
    // Moved out first: the callback may well start the next file.
    FinishedCallback callback = std::move(onFinished_);
    onFinished_ = nullptr;
    if (callback) {
        callback();
    }
}

void WavFileRenderer::stop() {
    if (!pendingFinish_) {
        return;
    }
    scheduler_.cancel(*pendingFinish_);
    pendingFinish_.reset();
    onFinished_ = nullptr;
    if (current_) {
        // Cut at the current time, so the next segment starts exactly where this one ends.
        render(*current_, frameAt(scheduler_.nowMs()) - current_->startFrame);
        current_.reset();
    }
}

// Writes the segment's first `frames` frames (at most all of it), after the
// silence since the last write.
void WavFileRenderer::render(Segment& segment, std::int64_t frames) {
    if (!writer_.isOpen()) {
        return;
    }
    const std::int64_t next = segment.startFrame + segment.resampler->framesRead();
    std::string reason;
    // A later sound cuts whatever an earlier one left past its start.
    if (!writer_.truncate(next, &reason) ||
        !writer_.writeSilence(next - writer_.frames(), &reason)) {
        failOutput(reason);
        return;
    }
    std::vector<float> block(static_cast<std::size_t>(kRenderBlockFrames));
    std::int64_t left = std::clamp<std::int64_t>(
        frames - segment.resampler->framesRead(), 0,
        segment.resampler->outputFrames() - segment.resampler->framesRead());
    while (left > 0) {
        const std::int64_t got =
            segment.resampler->read(block.data(), std::min(left, kRenderBlockFrames));
        if (got <= 0 || !writer_.write(block.data(), got, &reason)) {
            failOutput(got <= 0 ? "the resampler stalled" : reason);
            return;
        }
        left -= got;
    }
}

void WavFileRenderer::failOutput(const std::string& message) {
    if (outputFailure_.empty()) {
        outputFailure_ = message;
    }
    // Nothing more is written; close() reports the first failure.
    writer_.discard();
}

}  // namespace pelkora
