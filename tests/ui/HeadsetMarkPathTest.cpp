#include "ui/HeadsetMarkPath.h"

#include "ui/ShapePaths.h"

#include <QPainterPath>
#include <gtest/gtest.h>
#include <vector>

namespace vistrel {
namespace {

// The subpaths of a path: each a list of its points, control points included.
std::vector<std::vector<QPointF>> subpaths(const QPainterPath& path) {
    std::vector<std::vector<QPointF>> out;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type == QPainterPath::MoveToElement) {
            out.emplace_back();
        }
        out.back().emplace_back(e.x, e.y);
    }
    return out;
}

void expectNear(QPointF actual, QPointF expected, const char* what) {
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << what;
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << what;
}

TEST(HeadsetMarkPath, At92By64TheDrawnCoordinates) {
    const QPainterPath path = HeadsetMarkPath::path({92, 64});
    const auto parts = subpaths(path);
    ASSERT_EQ(parts.size(), 4U);

    // The strap: one cubic from the visor's top left to its top right,
    // control points above the top edge.
    ASSERT_EQ(parts[0].size(), 4U);
    expectNear(parts[0][0], {16.56, 19.2}, "strap start");
    expectNear(parts[0][1], {17.48, -1.92}, "strap first control");
    expectNear(parts[0][2], {74.52, -1.92}, "strap second control");
    expectNear(parts[0][3], {75.44, 19.2}, "strap end");
    EXPECT_EQ(path.elementAt(1).type, QPainterPath::CurveToElement);

    // The visor spans x 2 to 90 and y 19.2 to 60.8 and is closed.
    QPainterPath visor;
    visor.moveTo(parts[1][0]);
    for (std::size_t i = 1; i < parts[1].size(); ++i) {
        visor.lineTo(parts[1][i]);
    }
    const QRectF bounds = visor.boundingRect();
    EXPECT_NEAR(bounds.left(), 2, 1e-9);
    EXPECT_NEAR(bounds.right(), 90, 1e-9);
    EXPECT_NEAR(bounds.top(), 19.2, 1e-9);
    EXPECT_NEAR(bounds.bottom(), 60.8, 1e-9);
    expectNear(parts[1].front(), parts[1].back(), "visor closed");
    // Its corners are rounded: the corner points themselves are not on it.
    EXPECT_FALSE(path.contains(QPointF(2.2, 19.4)));
    EXPECT_TRUE(path.contains(QPointF(46, 40)));

    // The eye slits at y 37.76, x 23 to 31.28 and 60.72 to 69.
    ASSERT_EQ(parts[2].size(), 2U);
    expectNear(parts[2][0], {23, 37.76}, "left slit start");
    expectNear(parts[2][1], {31.28, 37.76}, "left slit end");
    ASSERT_EQ(parts[3].size(), 2U);
    expectNear(parts[3][0], {60.72, 37.76}, "right slit start");
    expectNear(parts[3][1], {69, 37.76}, "right slit end");
}

TEST(HeadsetMarkPath, TheStrapPeaksJustBelowTheTop) {
    const QPainterPath path = HeadsetMarkPath::path({92, 64});
    // The cubic's highest point is at t = 0.5: 0.0525 of the height.
    QPainterPath strap;
    strap.moveTo(path.elementAt(0).x, path.elementAt(0).y);
    strap.cubicTo(path.elementAt(1).x, path.elementAt(1).y, path.elementAt(2).x,
                  path.elementAt(2).y, path.elementAt(3).x, path.elementAt(3).y);
    EXPECT_NEAR(strap.pointAtPercent(0.5).y(), 0.0525 * 64, 0.05);
    EXPECT_GT(strap.boundingRect().top(), 0);
}

TEST(HeadsetMarkPath, DependsOnlyOnTheSize) {
    const QPainterPath a = HeadsetMarkPath::path({92, 64});
    const QPainterPath b = HeadsetMarkPath::path({184, 128});
    // Strap and slits are fractions of the size: twice the size, twice the
    // coordinates. The 2-point inset of the visor does not scale.
    const auto pa = subpaths(a);
    const auto pb = subpaths(b);
    ASSERT_EQ(pb.size(), pa.size());
    for (const std::size_t part : {0U, 2U, 3U}) {
        ASSERT_EQ(pb[part].size(), pa[part].size());
        for (std::size_t i = 0; i < pa[part].size(); ++i) {
            expectNear(pb[part][i], pa[part][i] * 2, "scaled point");
        }
    }
    EXPECT_NEAR(b.boundingRect().left(), 2, 1e-9);
    EXPECT_NEAR(b.boundingRect().right(), 182, 1e-9);
    // The same size gives the same outline every time.
    EXPECT_EQ(HeadsetMarkPath::path({92, 64}), a);
}

TEST(ShapePaths, SvgKeepsEverySubpathAndClosesTheVisor) {
    const QString svg = ShapePathsForQml::headsetMark(92, 64);
    EXPECT_TRUE(svg.startsWith("M 16.56 19.2 C 17.48 -1.92 74.52 -1.92 75.44 19.2 M "))
        << svg.toStdString();
    EXPECT_EQ(svg.count('M'), 4);
    EXPECT_EQ(svg.count('Z'), 1);
    EXPECT_TRUE(svg.endsWith("M 23 37.76 L 31.28 37.76 M 60.72 37.76 L 69 37.76"))
        << svg.toStdString();
    // Round-trips: the numbers parse back to the path's own coordinates.
    const QStringList tokens = svg.split(' ', Qt::SkipEmptyParts);
    for (const QString& t : tokens) {
        if (t.size() == 1 && t[0].isLetter()) {
            continue;
        }
        bool ok = false;
        t.toDouble(&ok);
        EXPECT_TRUE(ok) << t.toStdString();
    }
}

TEST(ShapePaths, ContinuousCornersStayInsideTheRectangle) {
    for (const qreal radius : {0.0, 4.0, 12.0, 17.0, 500.0}) {
        QPainterPath p;
        const QRectF rect(10, 20, 300, 100);
        ShapePaths::addContinuousRoundedRect(p, rect, radius);
        EXPECT_TRUE(rect.adjusted(-1e-9, -1e-9, 1e-9, 1e-9).contains(p.boundingRect())) << radius;
        EXPECT_TRUE(p.contains(rect.center())) << radius;
        // The midpoints of the edges are always on the outline's box.
        EXPECT_NEAR(p.boundingRect().width(), 300, 1e-9);
        EXPECT_NEAR(p.boundingRect().height(), 100, 1e-9);
    }
    // Round corners leave the corner point outside; square ones do not.
    QPainterPath round;
    ShapePaths::addContinuousRoundedRect(round, QRectF(0, 0, 100, 100), 12);
    EXPECT_FALSE(round.contains(QPointF(0.5, 0.5)));
    QPainterPath square;
    ShapePaths::addContinuousRoundedRect(square, QRectF(0, 0, 100, 100), 0);
    EXPECT_TRUE(square.contains(QPointF(0.5, 0.5)));
}

TEST(ShapePaths, TheCornerMaskCoversOnlyTheCorners) {
    // Painted with the odd-even rule, the mask is the rectangle minus the
    // rounded shape.
    const QString svg = ShapePathsForQml::roundedCornerMask(200, 100, 12);
    QPainterPath outer;
    outer.addRect(0, 0, 200, 100);
    QPainterPath inner;
    ShapePaths::addContinuousRoundedRect(inner, QRectF(0, 0, 200, 100), 12);
    const QPainterPath mask = outer.subtracted(inner);
    EXPECT_TRUE(mask.contains(QPointF(0.5, 0.5)));
    EXPECT_TRUE(mask.contains(QPointF(199.5, 99.5)));
    EXPECT_FALSE(mask.contains(QPointF(100, 50)));
    EXPECT_FALSE(mask.contains(QPointF(100, 0.5)));
    EXPECT_EQ(svg.count('M'), 2);
}

} // namespace
} // namespace vistrel
