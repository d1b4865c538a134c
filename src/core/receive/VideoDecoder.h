// Decodes H.264 access units (Annex B, one per call) with libavcodec. The
// parameter sets come from the stream itself; whenever they change the
// decoder is opened afresh from them, and its first picture is an IDR
// picture. After an interruption, under the `Hold` loss policy, pictures are
// held back until the next IDR picture, so broken references never reach the
// screen; under `KeepMoving` damaged access units are decoded with
// libavcodec's error concealment and their pictures marked corrupt
// (PixelBuffer::isDamaged). Decoded pictures leave through onFrame in system
// memory; set-up failures leave through onError as one sentence for the user.
#pragma once

#include "receive/AnnexB.h"
#include "receive/LossPolicy.h"
#include "receive/PixelBuffer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVBufferRef;

namespace vistrel {

class VideoDecoder {
public:
    using FrameCallback = std::function<void(const PixelBuffer&)>;
    using ErrorCallback = std::function<void(const std::string&)>;

    // `Automatic` decodes on a VAAPI device when one opens and in software
    // otherwise, without a word either way.
    enum class Acceleration { Automatic, Software };

    explicit VideoDecoder(Acceleration acceleration = Acceleration::Automatic);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Both run on the thread that calls decode(), as soon as the picture or
    // the failure is known.
    void setOnFrame(FrameCallback callback) { onFrame_ = std::move(callback); }
    void setOnError(ErrorCallback callback) { onError_ = std::move(callback); }

    // Read with each access unit, so it may change (from any thread) mid-stream.
    void setLossPolicy(LossPolicy policy) noexcept {
        lossPolicy_.store(policy, std::memory_order_relaxed);
    }

    // One access unit: the Annex B payload of one PES packet; `damaged` when
    // parts of it were lost on the way.
    void decode(std::span<const std::uint8_t> accessUnit, bool damaged = false);

    // The stream was interrupted: drop everything up to the next IDR picture.
    void discontinuity() noexcept { waitingForKeyframe_ = true; }

    [[nodiscard]] bool waitingForKeyframe() const noexcept { return waitingForKeyframe_; }
    // Decoders opened so far (every parameter-set change opens one).
    [[nodiscard]] std::uint64_t rebuilds() const noexcept { return rebuilds_; }
    // Access units passed the keyframe gate and handed to libavcodec.
    [[nodiscard]] std::uint64_t submittedSamples() const noexcept { return submitted_; }

private:
    struct ContextDeleter {
        void operator()(AVCodecContext* context) const noexcept;
    };
    struct FrameDeleter {
        void operator()(AVFrame* frame) const noexcept;
    };
    struct PacketDeleter {
        void operator()(AVPacket* packet) const noexcept;
    };
    struct BufferDeleter {
        void operator()(AVBufferRef* buffer) const noexcept;
    };

    void rebuild();
    void openHardwareDevice();
    void submit(bool damaged);
    void receiveFrames(bool damaged);
    void report(const std::string& message) const;

    FrameCallback onFrame_;
    ErrorCallback onError_;
    std::vector<std::uint8_t> sps_;
    std::vector<std::uint8_t> pps_;
    std::unique_ptr<AVCodecContext, ContextDeleter> context_;
    bool waitingForKeyframe_ = true;
    std::atomic<LossPolicy> lossPolicy_{LossPolicy::Hold};

    Acceleration acceleration_;
    bool triedHardware_ = false;
    std::unique_ptr<AVBufferRef, BufferDeleter> hardwareDevice_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVFrame, FrameDeleter> systemFrame_;
    // Reused from one access unit to the next.
    std::vector<AnnexB::Unit> units_;
    std::vector<AnnexB::Unit> slices_;
    std::uint64_t rebuilds_ = 0;
    std::uint64_t submitted_ = 0;
};

} // namespace vistrel
