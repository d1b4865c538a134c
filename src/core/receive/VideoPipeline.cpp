#include "receive/VideoPipeline.h"

#include <chrono>

namespace vistrel {

VideoPipeline::VideoPipeline(VideoDecoder::FrameCallback onFrame,
                             VideoDecoder::ErrorCallback onError) {
    demuxer_.setOnAccessUnit([this](std::span<const std::uint8_t> accessUnit) {
        const auto begin = std::chrono::steady_clock::now();
        decoder_.decode(accessUnit);
        decodeTimes_.add(std::chrono::steady_clock::now() - begin);
    });
    demuxer_.setOnDiscontinuity([this] { decoder_.discontinuity(); });
    decoder_.setOnFrame(std::move(onFrame));
    decoder_.setOnError(std::move(onError));
}

} // namespace vistrel
