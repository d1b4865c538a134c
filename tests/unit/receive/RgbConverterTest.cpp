#include "receive/RgbConverter.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

// One converter for pictures that change size: the new size's context gets
// the colour rule too.
TEST(RgbConverter, KeepsTheColourRuleAcrossASizeChange) {
    const test::Rgb colour{200, 40, 90};
    RgbConverter converter(RgbConverter::Precision::Exact);
    for (const int side : {32, 16}) {
        const auto picture = test::makeQuadrants(side, side, AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709,
                                                 {colour, colour, colour, colour});
        std::vector<unsigned char> rgba(static_cast<std::size_t>(side * side * 4));
        ASSERT_TRUE(converter.convert(*picture.frame(), side, side, rgba.data(), side * 4));
        EXPECT_NEAR(rgba[0], colour.r, 2) << side;
        EXPECT_NEAR(rgba[1], colour.g, 2) << side;
    }
}

} // namespace
} // namespace vistrel
