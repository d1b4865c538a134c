#include "ui/ShapePaths.h"

#include "ui/HeadsetMarkPath.h"

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace ShapePaths {

namespace {

// `extent` is how far along each edge the corner curve reaches; `handle`
// places the Bézier control points, measured from the corner, so that the
// curve's midpoint lies where a circular corner's would.
constexpr qreal extentPerRadius = 1.528;
constexpr qreal handlePerExtent = 0.178;

QString number(qreal v) {
    // Round away binary noise so that 0.3 * 64 prints as 19.2.
    return QString::number(std::round(v * 1e4) / 1e4, 'g', 10);
}

} // namespace

void addContinuousRoundedRect(QPainterPath& path, const QRectF& r, qreal radius) {
    const qreal e =
        std::max<qreal>(0, std::min({radius * extentPerRadius, r.width() / 2, r.height() / 2}));
    const qreal a = e * handlePerExtent;
    const qreal l = r.left();
    const qreal t = r.top();
    const qreal rt = r.right();
    const qreal b = r.bottom();
    path.moveTo(l + e, t);
    path.lineTo(rt - e, t);
    path.cubicTo(rt - a, t, rt, t + a, rt, t + e);
    path.lineTo(rt, b - e);
    path.cubicTo(rt, b - a, rt - a, b, rt - e, b);
    path.lineTo(l + e, b);
    path.cubicTo(l + a, b, l, b - a, l, b - e);
    path.lineTo(l, t + e);
    path.cubicTo(l, t + a, l + a, t, l + e, t);
    path.closeSubpath();
}

QString svg(const QPainterPath& p) {
    QString out;
    QPointF subpathStart;
    QPointF current;
    bool drawn = false;
    // Closing a subpath that ends where it began lets the stroke join there
    // instead of ending in two caps.
    const auto endSubpath = [&] {
        if (drawn && current == subpathStart) {
            out += QStringLiteral("Z ");
        }
        drawn = false;
    };
    for (int i = 0; i < p.elementCount(); ++i) {
        const QPainterPath::Element el = p.elementAt(i);
        switch (el.type) {
        case QPainterPath::MoveToElement:
            endSubpath();
            subpathStart = current = QPointF(el.x, el.y);
            out += QStringLiteral("M %1 %2 ").arg(number(el.x), number(el.y));
            break;
        case QPainterPath::LineToElement:
            current = QPointF(el.x, el.y);
            drawn = true;
            out += QStringLiteral("L %1 %2 ").arg(number(el.x), number(el.y));
            break;
        case QPainterPath::CurveToElement: {
            const QPainterPath::Element c2 = p.elementAt(i + 1);
            const QPainterPath::Element to = p.elementAt(i + 2);
            current = QPointF(to.x, to.y);
            drawn = true;
            out += QStringLiteral("C %1 %2 %3 %4 %5 %6 ")
                       .arg(number(el.x), number(el.y), number(c2.x), number(c2.y), number(to.x),
                            number(to.y));
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    endSubpath();
    return out.trimmed();
}

} // namespace ShapePaths

QString ShapePathsForQml::headsetMark(qreal width, qreal height) {
    return ShapePaths::svg(HeadsetMarkPath::path({width, height}));
}

QString ShapePathsForQml::roundedCornerMask(qreal width, qreal height, qreal radius) {
    QPainterPath p;
    p.addRect(QRectF(0, 0, width, height));
    ShapePaths::addContinuousRoundedRect(p, QRectF(0, 0, width, height), radius);
    return ShapePaths::svg(p);
}

QString ShapePathsForQml::roundedRect(qreal width, qreal height, qreal radius, qreal inset) {
    QPainterPath p;
    ShapePaths::addContinuousRoundedRect(
        p, QRectF(inset, inset, width - 2 * inset, height - 2 * inset), radius - inset);
    return ShapePaths::svg(p);
}

} // namespace vistrel
