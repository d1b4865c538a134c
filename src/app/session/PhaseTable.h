// How each phase of the session reads: the status label (also the state line
// of the diagnostics report), what the video area says while no picture
// shows, the status dot and the busy indicator. One row per phase, read by
// the presenter and the report alike.
#pragma once

#include "session/StreamSession.h"

#include <string_view>

namespace vistrel {

struct PhaseLook {
    std::string_view status;
    std::string_view title;    // empty while live: the picture shows
    std::string_view subtitle; // likewise
    bool dotLit;               // the status dot in the accent colour
    bool spinner;              // the busy indicator over the video area
};

[[nodiscard]] const PhaseLook& phaseLook(StreamSession::Phase phase);

} // namespace vistrel
