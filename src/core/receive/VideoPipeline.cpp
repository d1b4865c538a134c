#include "receive/VideoPipeline.h"

#include <chrono>

namespace vistrel {

VideoPipeline::VideoPipeline(VideoDecoder::FrameCallback onFrame,
                             VideoDecoder::ErrorCallback onError) {
    demuxer_.setOnAccessUnit([this](std::span<const std::uint8_t> accessUnit, bool damaged) {
        take(accessUnit, damaged);
    });
    demuxer_.setOnDiscontinuity([this] {
        decoder_.discontinuity();
        waitingForKeyframe_.store(true, std::memory_order_relaxed);
    });
    decoder_.setOnFrame(std::move(onFrame));
    decoder_.setOnError(std::move(onError));
}

void VideoPipeline::take(std::span<const std::uint8_t> accessUnit, bool damaged) {
    const auto begin = std::chrono::steady_clock::now();
    const bool starting = firstKeyframeAt_.load(std::memory_order_relaxed) == 0;
    if (starting && firstAccessUnitAt_.load(std::memory_order_relaxed) == 0) {
        firstAccessUnitAt_.store(begin.time_since_epoch().count(), std::memory_order_relaxed);
    }
    decoder_.decode(accessUnit, damaged);
    waitingForKeyframe_.store(decoder_.waitingForKeyframe(), std::memory_order_relaxed);
    if (starting && decoder_.submittedSamples() > 0) {
        firstKeyframeAt_.store(begin.time_since_epoch().count(), std::memory_order_relaxed);
    }
    decodeTimes_.add(std::chrono::steady_clock::now() - begin);
}

} // namespace vistrel
