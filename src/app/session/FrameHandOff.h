// The road of a decoded picture from the receiver's thread to the screen: it
// waits in a one-slot mailbox, one delivery at a time is queued on the GUI
// thread, and the delivery shows what is waiting then. A newer picture
// replaces one not yet delivered, so a slow GUI thread lowers the frame rate
// shown instead of building latency. Held in a std::shared_ptr, which a
// queued delivery keeps alive.
#pragma once

#include "session/FrameMailbox.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace vistrel {

class FrameHandOff : public std::enable_shared_from_this<FrameHandOff> {
public:
    // GUI thread: shows a delivered picture.
    using Show = std::function<void(const PixelBuffer&)>;
    // Any thread: runs `deliver` on the GUI thread later, or drops it (the
    // session's run gate drops what an ended run asked for).
    using Queue = std::function<void(std::function<void()> deliver)>;

    FrameHandOff(Show show, Queue queue) : show_(std::move(show)), queue_(std::move(queue)) {}

    // Any thread.
    void post(const PixelBuffer& picture);

    // Pictures replaced before they were delivered.
    [[nodiscard]] std::uint64_t replaced() const { return mailbox_.dropped(); }

private:
    FrameMailbox mailbox_;
    Show show_;
    Queue queue_;
};

} // namespace vistrel
