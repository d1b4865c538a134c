// The road of the received bytes after the socket: each datagram goes to the
// transport-stream demuxer, each access unit it completes to the H.264
// decoder, and a gap in the stream makes the decoder wait for the next
// keyframe or, under the `KeepMoving` loss policy, decode what arrived. One thread (the receiver's)
// owns and feeds it; pictures and errors leave through the callbacks given at construction, on that
// thread. Only the decode times and the moments of the first access unit and keyframe may be read
// from other threads.
#pragma once

#include "receive/DecodeTimes.h"
#include "receive/TransportStreamDemuxer.h"
#include "receive/VideoDecoder.h"

#include <atomic>
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

    // Any thread, at any time; takes effect at the next loss.
    void setLossPolicy(LossPolicy policy) noexcept {
        demuxer_.setLossPolicy(policy);
        decoder_.setLossPolicy(policy);
    }

    // Whether decoding waits for a keyframe now; any thread.
    [[nodiscard]] bool waitingForKeyframe() const noexcept {
        return waitingForKeyframe_.load(std::memory_order_relaxed);
    }

    // Continuity gaps in the stream so far.
    [[nodiscard]] std::uint64_t droppedPackets() const noexcept {
        return demuxer_.droppedPackets();
    }

    // How long each access unit took to decode; any thread.
    [[nodiscard]] DecodeTimes& decodeTimes() noexcept { return decodeTimes_; }
    [[nodiscard]] const DecodeTimes& decodeTimes() const noexcept { return decodeTimes_; }

    // For the diagnostics of how a stream starts: when the first access unit
    // was complete, and the first keyframe (the first access unit the
    // decoder took), in ticks of the steady clock; 0 until then.
    [[nodiscard]] std::int64_t firstAccessUnitAt() const noexcept {
        return firstAccessUnitAt_.load(std::memory_order_relaxed);
    }
    [[nodiscard]] std::int64_t firstKeyframeAt() const noexcept {
        return firstKeyframeAt_.load(std::memory_order_relaxed);
    }

private:
    void take(std::span<const std::uint8_t> accessUnit, bool damaged);

    TransportStreamDemuxer demuxer_;
    VideoDecoder decoder_;
    DecodeTimes decodeTimes_;
    std::atomic<std::int64_t> firstAccessUnitAt_{0};
    std::atomic<std::int64_t> firstKeyframeAt_{0};
    std::atomic<bool> waitingForKeyframe_{true};
};

} // namespace vistrel
