#include "receive/VideoPipeline.h"

#include "HeadsetStream.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace vistrel {
namespace {

bool isIdr(const test::Bytes& accessUnit) {
    const auto units = AnnexB::units(accessUnit);
    return std::ranges::any_of(units, [](AnnexB::Unit unit) { return (unit[0] & 0x1F) == 5; });
}

// A datagram lost in the middle of a picture between keyframes: the demuxer
// drops that picture and the decoder shows nothing until the next keyframe.
TEST(VideoPipeline, ALossHoldsThePictureUntilTheNextKeyframe) {
    const test::TestStream& s = test::testStream("320x240");
    std::vector<std::size_t> completedAt; // the datagram that completes each access unit
    std::size_t i = 0;
    TransportStreamDemuxer demuxer;
    demuxer.setOnAccessUnit([&](auto, bool) { completedAt.push_back(i); });
    for (; i < s.datagrams.size(); ++i) {
        demuxer.append(s.datagrams[i]);
    }
    ASSERT_EQ(completedAt.size(), s.units.size());
    std::size_t lost = 1;
    while (lost + 1 < s.units.size() &&
           (isIdr(s.units[lost]) || completedAt[lost] - completedAt[lost - 1] < 2)) {
        ++lost;
    }
    const auto next = static_cast<std::size_t>(
        std::find_if(s.units.begin() + static_cast<std::ptrdiff_t>(lost), s.units.end(), isIdr) -
        s.units.begin());
    ASSERT_LT(lost + 1, next);
    ASSERT_LT(next, s.units.size());
    std::size_t shown = 0;
    VideoPipeline pipeline([&](const PixelBuffer&) { ++shown; }, [](const std::string&) {});
    for (i = 0; i < s.datagrams.size(); ++i) {
        if (i != completedAt[lost - 1] + 1) {
            pipeline.append(s.datagrams[i]);
        }
        if (i == completedAt[next - 1]) {
            EXPECT_EQ(shown, lost);
            EXPECT_TRUE(pipeline.waitingForKeyframe());
        }
    }
    EXPECT_EQ(shown, lost + s.units.size() - next);
    EXPECT_FALSE(pipeline.waitingForKeyframe());
}

} // namespace
} // namespace vistrel
