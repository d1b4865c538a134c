// The road of the received bytes after the socket: each datagram goes to the
// transport-stream demuxer, each access unit it completes to the H.264
// decoder, and a gap in the stream makes the decoder wait for the next
// keyframe. One thread (the receiver's) owns and feeds it; pictures and errors
// leave through the callbacks given at construction, on that thread. Only the
// decode times may be read from other threads.
#pragma once

#include "receive/DecodeTimes.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/VideoDecoder.h"

#include <cstdint>
#include <span>

namespace vistrel {

class VideoPipeline {
public:
    VideoPipeline(VideoDecoder::FrameCallback onFrame, VideoDecoder::ErrorCallback onError);
    VideoPipeline(const VideoPipeline&) = delete;
    VideoPipeline& operator=(const VideoPipeline&) = delete;

    // The payload of one accepted datagram, in arrival order.
    void append(std::span<const std::uint8_t> datagram) { demuxer_.append(datagram); }

    // Continuity gaps in the stream so far.
    [[nodiscard]] std::uint64_t droppedPackets() const noexcept {
        return demuxer_.droppedPackets();
    }

    // How long each access unit took to decode; any thread.
    [[nodiscard]] DecodeTimes& decodeTimes() noexcept { return decodeTimes_; }
    [[nodiscard]] const DecodeTimes& decodeTimes() const noexcept { return decodeTimes_; }

private:
    TransportStreamDemuxer demuxer_;
    VideoDecoder decoder_;
    DecodeTimes decodeTimes_;
};

} // namespace vistrel
