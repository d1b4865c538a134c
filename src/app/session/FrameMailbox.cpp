#include "session/FrameMailbox.h"

#include <utility>

namespace vistrel {

bool FrameMailbox::post(PixelBuffer picture) {
    PixelBuffer replaced;
    {
        const std::lock_guard guard(lock_);
        replaced = std::exchange(frame_, std::move(picture));
        if (!replaced.empty()) {
            ++dropped_;
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

void FrameMailbox::clear() {
    PixelBuffer dropped;
    const std::lock_guard guard(lock_);
    dropped = std::exchange(frame_, PixelBuffer{});
}

std::uint64_t FrameMailbox::dropped() const {
    const std::lock_guard guard(lock_);
    return dropped_;
}

} // namespace vistrel
