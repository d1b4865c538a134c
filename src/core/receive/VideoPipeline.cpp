#include "receive/VideoPipeline.h"

namespace vistrel {

VideoPipeline::VideoPipeline(VideoDecoder::FrameCallback onFrame,
                             VideoDecoder::ErrorCallback onError) {
    demuxer_.setOnAccessUnit(
        [this](std::span<const std::uint8_t> accessUnit) { decoder_.decode(accessUnit); });
    demuxer_.setOnDiscontinuity([this] { decoder_.discontinuity(); });
    decoder_.setOnFrame(std::move(onFrame));
    decoder_.setOnError(std::move(onError));
}

} // namespace vistrel
