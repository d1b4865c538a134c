// A cheap, reference-counted handle to one decoded picture (an AVFrame in
// system memory, 8-bit 4:2:0 as YUV420P or NV12, colour matrix and range
// kept). Copies share the frame; the pixels are never duplicated.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <memory>

namespace vistrel {

class PixelBuffer {
public:
    PixelBuffer() = default;

    // Takes a new reference to the frame's buffers; the caller keeps its frame.
    // Returns an empty buffer if the reference cannot be made.
    static PixelBuffer referencing(const AVFrame* frame);

    [[nodiscard]] const AVFrame* frame() const noexcept { return frame_.get(); }
    [[nodiscard]] int width() const noexcept { return frame_ ? frame_->width : 0; }
    [[nodiscard]] int height() const noexcept { return frame_ ? frame_->height : 0; }
    [[nodiscard]] AVPixelFormat format() const noexcept {
        return frame_ ? static_cast<AVPixelFormat>(frame_->format) : AV_PIX_FMT_NONE;
    }
    // Decoded from an access unit that lost parts on the way, or with
    // libavcodec concealing errors: parts of the picture are guessed.
    [[nodiscard]] bool isDamaged() const noexcept {
        return frame_ &&
               ((frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame_->decode_error_flags != 0);
    }
    [[nodiscard]] bool empty() const noexcept { return !frame_; }
    explicit operator bool() const noexcept { return !empty(); }

private:
    explicit PixelBuffer(std::shared_ptr<const AVFrame> frame) : frame_(std::move(frame)) {}
    std::shared_ptr<const AVFrame> frame_;
};

} // namespace vistrel
