// Outlines the window draws with QML Shapes, as SVG path data: rectangles
// with continuous (smoothly curved) corners and the headset glyph.
#pragma once

#include <QObject>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

namespace ShapePaths {

// A closed rectangle whose corners begin curving further from the corner
// than a circular arc of `radius` would and meet the straight edges without
// a kink in curvature.
void addContinuousRoundedRect(QPainterPath& path, const QRectF& rect, qreal radius);

// The path as SVG path data; subpaths that end where they began are closed.
QString svg(const QPainterPath& path);

} // namespace ShapePaths

class ShapePathsForQml : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(ShapePaths)
    QML_SINGLETON

public:
    using QObject::QObject;
    // The headset glyph at the given size.
    Q_INVOKABLE static QString headsetMark(qreal width, qreal height);
    // Everything of a width × height rectangle outside its rounded inner
    // shape: painted in the surrounding colour, it rounds the corners of
    // whatever lies below (the video picture) without clipping it.
    Q_INVOKABLE static QString roundedCornerMask(qreal width, qreal height, qreal radius);
    // The rounded outline itself, inset by `inset` (half a line width, for a
    // stroke drawn inside the shape).
    Q_INVOKABLE static QString roundedRect(qreal width, qreal height, qreal radius, qreal inset);
};

} // namespace vistrel
