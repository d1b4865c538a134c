// The headset glyph: a head strap arched over a rounded visor with two short
// eye slits. Given a size it produces the outline; the geometry depends on
// the size only, never on where the glyph sits.
#pragma once

#include <QPainterPath>
#include <QSizeF>

namespace vistrel::HeadsetMarkPath {

// In order: the strap (open), the visor (closed, continuous corners), the
// left and the right eye slit (open).
QPainterPath path(QSizeF size);

} // namespace vistrel::HeadsetMarkPath
