#include "session/FrameHandOff.h"

namespace vistrel {

void FrameHandOff::post(const PixelBuffer& picture) {
    if (mailbox_.post(picture)) {
        queue_([self = shared_from_this()] {
            if (const PixelBuffer waiting = self->mailbox_.take(); !waiting.empty()) {
                self->show_(waiting);
            }
        });
    }
}

} // namespace vistrel
