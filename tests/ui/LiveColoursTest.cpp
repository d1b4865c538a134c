// The live view shows a stream's own colours: inside the flat areas of
// FFmpeg's colour bars, the window's pixels match the decoded picture on
// screen converted by the rule screenshots use. The headset's pictures are
// BT.601 and untagged; one stream is converted to BT.709 and tagged so.
#include "WindowFixture.h"
#include "receive/RgbConverter.h"

#include <algorithm>
#include <cmath>

namespace vistrel::test {
namespace {

struct Case {
    const char* name;
    HeadsetStandIn::Stream stream;
};

class LiveColours : public WindowFixture, public ::testing::WithParamInterface<Case> {};

// The largest difference of the three channels.
int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// Every pixel within `radius` of `centre` is within 2 levels of it.
bool flatAround(const QImage& image, QPoint centre, int radius) {
    for (int y = centre.y() - radius; y <= centre.y() + radius; ++y) {
        for (int x = centre.x() - radius; x <= centre.x() + radius; ++x) {
            const QPoint p(std::clamp(x, 0, image.width() - 1),
                           std::clamp(y, 0, image.height() - 1));
            if (distance(image.pixelColor(p), image.pixelColor(centre)) > 2) {
                return false;
            }
        }
    }
    return true;
}

QString rgb(const QColor& c) {
    return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

TEST_P(LiveColours, FlatAreasShowTheDecodedColours) {
    launch(GetParam().stream);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(StreamSession::Phase::Streaming, 30000))
        << session().error().toStdString();
    const auto shown = session().display()->shownCount();
    ASSERT_TRUE(waitFor([&] { return session().display()->shownCount() > shown + 5; }));

    // The grab must show the very picture read: none may arrive in between.
    PixelBuffer picture;
    QImage shot;
    ASSERT_TRUE(waitFor([&] {
        picture = session().latestFrame();
        shot = window().grabWindow();
        return picture.frame() == session().latestFrame().frame();
    }));
    QImage expected(picture.width(), picture.height(), QImage::Format_RGBA8888);
    ASSERT_TRUE(RgbConverter(RgbConverter::Precision::Exact)
                    .convert(*picture.frame(), picture.width(), picture.height(), expected.bits(),
                             int(expected.bytesPerLine())));

    // Where the area shows the picture, fitted and centred.
    const QRect area = videoRect();
    const double scale =
        std::min(double(area.width()) / picture.width(), double(area.height()) / picture.height());
    const QPointF origin =
        QPointF(area.topLeft()) +
        QPointF(area.width() - picture.width() * scale, area.height() - picture.height() * scale) /
            2;
    const int radius = std::max(4, int(std::ceil(3 / scale)));
    int compared = 0;
    int worst = 0;
    QString worstText;
    for (int y = picture.height() / 24; y < picture.height(); y += picture.height() / 12) {
        for (int x = picture.width() / 48; x < picture.width(); x += picture.width() / 24) {
            if (!flatAround(expected, {x, y}, radius)) {
                continue;
            }
            const QColor want = expected.pixelColor(x, y);
            const QColor got =
                shot.pixelColor((origin + QPointF(x + 0.5, y + 0.5) * scale).toPoint());
            ++compared;
            if (distance(got, want) > worst) {
                worst = distance(got, want);
                worstText = QStringLiteral("at (%1,%2) of the picture: shown %3, decoded %4")
                                .arg(x)
                                .arg(y)
                                .arg(rgb(got), rgb(want));
            }
        }
    }
    EXPECT_GE(compared, 100);
    EXPECT_LE(worst, 4) << worstText.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    , LiveColours,
    ::testing::Values(Case{"Untagged720p", {}}, Case{"Untagged360p", {"640x360", {}}},
                      Case{"TaggedBt709",
                           {"1280x720", "-vf scale=out_color_matrix=bt709:out_range=tv "
                                        "-colorspace bt709 -color_primaries bt709 "
                                        "-color_trc bt709"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistrel::test
