// The live view shows a picture's own colours: inside its flat areas, the
// window's pixels match the picture converted by the rule screenshots use.
// The headset's pictures are BT.601 and untagged.
#include "WindowFixture.h"
#include "receive/RgbConverter.h"

#include <cmath>

namespace vistrel::test {
namespace {

class LiveColours : public WindowFixture {
protected:
    // The window shows the picture on screen (`expected`, when given) within 2 levels.
    void expectColoursShown(const PixelBuffer& expected = {});
};

PixelBuffer quadrants(int w, int h, AVPixelFormat format,
                      AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED, bool full = false) {
    return makeQuadrants(w, h, format, matrix,
                         {Rgb{200, 40, 30}, {30, 190, 60}, {40, 50, 210}, {230, 220, 90}}, full);
}

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

void LiveColours::expectColoursShown(const PixelBuffer& expected) {
    PixelBuffer picture;
    QImage shot;
    EXPECT_TRUE(waitFor([&] { // the grab shows the very picture read: none arrived in between
        picture = session().latestFrame();
        shot = window().grabWindow();
        return picture.frame() == session().latestFrame().frame() &&
               (expected.empty() || picture.frame() == expected.frame());
    }));
    const int w = picture.width();
    const int h = picture.height();
    QImage decoded(w, h, QImage::Format_RGBA8888);
    ASSERT_TRUE(w > 0 &&
                RgbConverter(RgbConverter::Precision::Exact)
                    .convert(*picture.frame(), w, h, decoded.bits(), int(decoded.bytesPerLine())))
        << "no picture";

    // The picture is fitted and centred in the area; compare where it is flat
    // (every pixel within `radius` within 2 levels), away from edges.
    const QRect area = videoRect();
    const double scale = std::min(double(area.width()) / w, double(area.height()) / h);
    const QPointF origin = QPointF(area.topLeft()) +
                           (QPointF(area.width(), area.height()) - QPointF(w, h) * scale) / 2;
    const int radius = std::max(4, int(std::ceil(3 / scale)));
    const auto flat = [&](int cx, int cy) {
        for (int y = std::max(0, cy - radius); y <= std::min(h - 1, cy + radius); ++y) {
            for (int x = std::max(0, cx - radius); x <= std::min(w - 1, cx + radius); ++x) {
                if (distance(decoded.pixelColor(x, y), decoded.pixelColor(cx, cy)) > 2) {
                    return false;
                }
            }
        }
        return true;
    };
    int compared = 0;
    for (int y = h / 24; y < h; y += h / 12) {
        for (int x = w / 48; x < w; x += w / 24) {
            if (flat(x, y)) {
                const QColor want = decoded.pixelColor(x, y);
                const QColor got =
                    shot.pixelColor((origin + QPointF(x + 0.5, y + 0.5) * scale).toPoint());
                ++compared;
                EXPECT_LE(distance(got, want), 2)
                    << w << "x" << h << " at (" << x << "," << y << "): shown "
                    << got.name().toStdString() << ", decoded " << want.name().toStdString();
            }
        }
    }
    EXPECT_GE(compared, 100);
}

TEST_F(LiveColours, TheHeadsetsPicturesShowTheirDecodedColours) {
    platform.reduceMotion = true; // no placeholder fading over the first picture
    launch(Headset::Streams);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000));
    ASSERT_TRUE(waitForPictures(5));
    expectColoursShown();
}

// Odd sizes of both layouts, then size, range and matrix changing in one
// window: Qt's own video item kept the first picture's matrix.
TEST_F(LiveColours, MadePicturesShowTheirColoursThroughChangesOfSizeAndTags) {
    platform.reduceMotion = true;
    launch(Headset::StartsCapture);
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return session().receiver() != nullptr; }));
    for (const PixelBuffer& picture :
         {quadrants(641, 361, AV_PIX_FMT_YUV420P), quadrants(321, 179, AV_PIX_FMT_NV12),
          quadrants(321, 179, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, true),
          quadrants(1280, 720, AV_PIX_FMT_NV12, AVCOL_SPC_BT709),
          quadrants(640, 360, AV_PIX_FMT_YUV420P, AVCOL_SPC_UNSPECIFIED, true)}) {
        session().receiver()->frameCallback()(picture);
        expectColoursShown(picture);
    }
}

} // namespace
} // namespace vistrel::test
