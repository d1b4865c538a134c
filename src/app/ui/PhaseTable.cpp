#include "ui/PhaseTable.h"

#include "ui/Labels.h"

namespace vistrel {

PhaseLook phaseLook(StreamSession::Phase phase) {
    using Phase = StreamSession::Phase;
    switch (phase) {
    case Phase::Idle:
        return {Labels::idleTitle(), Labels::idleSubtitle(), false, false};
    case Phase::Connecting:
        return {Labels::connectingTitle(), Labels::connectingSubtitle(), false, true};
    case Phase::Waiting:
        return {Labels::waitingTitle(), Labels::waitingSubtitle(), false, true};
    case Phase::Streaming:
        return {{}, {}, true, false};
    case Phase::Stopping:
        return {Labels::stoppingTitle(), Labels::stoppingSubtitle(), false, true};
    }
    return {};
}

} // namespace vistrel
