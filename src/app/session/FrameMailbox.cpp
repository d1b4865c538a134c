#include "session/FrameMailbox.h"

#include <utility>

namespace vistrel {

bool FrameMailbox::post(PixelBuffer picture) {
    PixelBuffer replaced;
    {
        const std::lock_guard guard(lock_);
        replaced = std::exchange(frame_, std::move(picture));
        if (!replaced.empty()) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
        }
        if (scheduled_) {
            return false;
        }
        scheduled_ = true;
    }
    // `replaced` is released here, outside the lock.
    return true;
}

PixelBuffer FrameMailbox::take() {
    const std::lock_guard guard(lock_);
    scheduled_ = false;
    return std::exchange(frame_, PixelBuffer{});
}

} // namespace vistrel
