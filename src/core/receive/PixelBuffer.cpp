#include "receive/PixelBuffer.h"

namespace vistrel {

PixelBuffer PixelBuffer::referencing(const AVFrame* frame) {
    if (frame == nullptr) {
        return {};
    }
    AVFrame* copy = av_frame_alloc();
    if (copy == nullptr) {
        return {};
    }
    if (av_frame_ref(copy, frame) < 0) {
        av_frame_free(&copy);
        return {};
    }
    return PixelBuffer(std::shared_ptr<const AVFrame>(copy, [](const AVFrame* f) {
        auto* owned = const_cast<AVFrame*>(f);
        av_frame_free(&owned);
    }));
}

} // namespace vistrel
