#include "ui/HeadsetMarkPath.h"

#include "ui/ShapePaths.h"

namespace vistrel::HeadsetMarkPath {

namespace {
// The visor keeps a fixed distance from the sides, whatever the size, so the
// stroke never touches the frame; its corners have a fixed size too.
constexpr qreal sideInset = 2;
constexpr qreal visorCorner = 17;
} // namespace

QPainterPath path(QSizeF size) {
    const qreal w = size.width();
    const qreal h = size.height();
    QPainterPath p;
    p.moveTo(0.18 * w, 0.30 * h);
    p.cubicTo(0.19 * w, -0.03 * h, 0.81 * w, -0.03 * h, 0.82 * w, 0.30 * h);
    ShapePaths::addContinuousRoundedRect(
        p, QRectF(sideInset, 0.30 * h, w - 2 * sideInset, 0.65 * h), visorCorner);
    p.moveTo(0.25 * w, 0.59 * h);
    p.lineTo(0.34 * w, 0.59 * h);
    p.moveTo(0.66 * w, 0.59 * h);
    p.lineTo(0.75 * w, 0.59 * h);
    return p;
}

} // namespace vistrel::HeadsetMarkPath
