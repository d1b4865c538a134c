// How each phase of the session looks in the window: what the video area
// says while no picture shows, the status dot and the busy indicator. One row
// per phase, read by the presenter.
#pragma once

#include "session/StreamSession.h"

#include <QString>

namespace vistrel {

struct PhaseLook {
    QString title;    // empty while live: the picture shows
    QString subtitle; // likewise
    bool dotLit;      // the status dot in the accent colour
    bool spinner;     // the busy indicator over the video area
};

[[nodiscard]] PhaseLook phaseLook(StreamSession::Phase phase);

} // namespace vistrel
