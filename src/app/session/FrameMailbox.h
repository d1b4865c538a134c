// One-slot hand-off of the newest decoded picture from the receiver thread to
// the GUI thread. A newer picture replaces one not yet taken, and at most one
// delivery is scheduled at a time, so a slow GUI thread lowers the shown frame
// rate instead of building latency.
#pragma once

#include "receive/PixelBuffer.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace vistrel {

class FrameMailbox {
public:
    // Any thread. Stores the picture, releasing one still waiting, and returns
    // true when the caller must schedule a delivery (none is pending).
    [[nodiscard]] bool post(PixelBuffer picture);

    // GUI thread, from the delivery. Takes the waiting picture (maybe none)
    // and allows the next delivery to be scheduled.
    [[nodiscard]] PixelBuffer take();

    // Pictures replaced before anyone took them; any thread, without the lock.
    [[nodiscard]] std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::mutex lock_; // guards frame_ and scheduled_
    PixelBuffer frame_;
    bool scheduled_ = false;
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace vistrel
