// The live view shows a stream's own colours: inside the flat areas of
// FFmpeg's colour bars, the window's pixels match the decoded picture on
// screen converted by the rule screenshots use. The headset's pictures are
// BT.601 and untagged; one stream is converted to BT.709 and tagged so.
#include "WindowFixture.h"
#include "receive/RgbConverter.h"

#include <cmath>

namespace vistrel::test {
namespace {

struct Case {
    const char* name;
    const char* size;
    const char* filter;
};
void PrintTo(const Case& c, std::ostream* out) { // ctest shows the row's name, not its bytes
    *out << c.name;
}

class LiveColours : public WindowFixture, public ::testing::WithParamInterface<Case> {};

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

TEST_P(LiveColours, FlatAreasShowTheDecodedColours) {
    launch(Headset::Streams, "127.0.0.1", GetParam().size, GetParam().filter);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(StreamSession::Phase::Streaming, 30000));
    ASSERT_TRUE(waitForPictures(5));
    PixelBuffer picture;
    QImage shot;
    ASSERT_TRUE(waitFor([&] { // the grab shows the very picture read: none arrived in between
        picture = session().latestFrame();
        shot = window().grabWindow();
        return picture.frame() == session().latestFrame().frame();
    }));
    const int w = picture.width();
    const int h = picture.height();
    QImage decoded(w, h, QImage::Format_RGBA8888);
    ASSERT_TRUE(RgbConverter(RgbConverter::Precision::Exact)
                    .convert(*picture.frame(), w, h, decoded.bits(), int(decoded.bytesPerLine())));

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
    int worst = 0;
    QString worstText;
    for (int y = h / 24; y < h; y += h / 12) {
        for (int x = w / 48; x < w; x += w / 24) {
            if (flat(x, y)) {
                const QColor want = decoded.pixelColor(x, y);
                const QColor got =
                    shot.pixelColor((origin + QPointF(x + 0.5, y + 0.5) * scale).toPoint());
                ++compared;
                if (distance(got, want) > worst) {
                    worst = distance(got, want);
                    worstText = QString("at (%1,%2): shown %3, decoded %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(got.name(), want.name());
                }
            }
        }
    }
    EXPECT_GE(compared, 100);
    EXPECT_LE(worst, 4) << worstText.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    , LiveColours,
    ::testing::Values(Case{"Untagged720p", "1280x720", ""}, Case{"Untagged360p", "640x360", ""},
                      Case{"TaggedBt709", "1280x720",
                           "-vf scale=out_color_matrix=bt709:out_range=tv -colorspace bt709 "
                           "-color_primaries bt709 -color_trc bt709"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace vistrel::test
