#include "session/PhaseTable.h"

#include "Messages.h"

#include <array>
#include <cstddef>

namespace vistrel {

namespace {

using Phase = StreamSession::Phase;
namespace M = Messages;

// In the order of StreamSession::Phase.
constexpr std::array<PhaseLook, 5> looks{{
    {M::stateIdle, M::idleTitle, M::idleSubtitle, false, false},
    {M::stateConnecting, M::connectingTitle, M::connectingSubtitle, false, true},
    {M::stateWaiting, M::waitingTitle, M::waitingSubtitle, false, true},
    {M::stateStreaming, {}, {}, true, false},
    {M::stateStopping, M::stoppingTitle, M::stoppingSubtitle, false, true},
}};
static_assert(static_cast<std::size_t>(Phase::Stopping) + 1 == looks.size());

} // namespace

const PhaseLook& phaseLook(StreamSession::Phase phase) {
    return looks.at(static_cast<std::size_t>(phase));
}

} // namespace vistrel
