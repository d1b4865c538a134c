#include "receive/VideoDecoder.h"

#include "HeadsetStream.h"
#include "Messages.h"

#include <algorithm>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace vistrel {
namespace {

using test::Bytes;

struct Output {
    VideoDecoder decoder{VideoDecoder::Acceleration::Software};
    std::vector<PixelBuffer> pictures;
    std::vector<std::string> errors;
    Output() {
        decoder.setOnFrame([this](const PixelBuffer& picture) { pictures.push_back(picture); });
        decoder.setOnError([this](const std::string& message) { errors.push_back(message); });
    }
};

// `before`, then the NAL units of `accessUnit` whose type has its bit in `types`.
constexpr unsigned idr = 1U << 5, sps = 1U << 7, parameterSets = sps | 1U << 8, all = ~0U;
Bytes filtered(const Bytes& accessUnit, unsigned types, Bytes before = {}) {
    for (const AnnexB::Unit unit : AnnexB::units(accessUnit)) {
        if ((types >> (unit[0] & 0x1F) & 1) != 0) {
            before.insert(before.end(), {0, 0, 0, 1});
            before.insert(before.end(), unit.begin(), unit.end());
        }
    }
    return before;
}

Bytes planes(const PixelBuffer& picture) {
    const AVFrame* f = picture.frame();
    const auto format = static_cast<AVPixelFormat>(f->format);
    Bytes bytes(static_cast<std::size_t>(av_image_get_buffer_size(format, f->width, f->height, 1)));
    av_image_copy_to_buffer(bytes.data(), static_cast<int>(bytes.size()), f->data, f->linesize,
                            format, f->width, f->height, 1);
    return bytes;
}

class VideoDecoderTest : public ::testing::Test {
protected:
    const std::vector<Bytes>& units_ = test::testStream("320x240").units;
    const std::size_t keyframe_ = static_cast<std::size_t>(
        std::find_if(units_.begin() + 1, units_.end(),
                     [](const Bytes& unit) { return !filtered(unit, idr).empty(); }) -
        units_.begin());
    void expectPicture(const PixelBuffer& picture, std::size_t unit) {
        // What libavcodec alone makes of the same stream.
        static const auto reference = test::readMovie(test::testStream("320x240").bytes).pictures;
        EXPECT_EQ(planes(picture), planes(reference.at(unit))) << unit;
    }
};

TEST_F(VideoDecoderTest, DecodesEveryPictureAsFFmpegDoesAndAtOnce) {
    ASSERT_LT(keyframe_, units_.size()) << "repeated parameter sets";
    Output out;
    for (std::size_t i = 0; i < units_.size(); ++i) {
        out.decoder.decode(units_[i]);
        ASSERT_EQ(out.pictures.size(), i + 1) << "each picture leaves with its own access unit";
        expectPicture(out.pictures[i], i);
    }
    EXPECT_EQ(out.decoder.rebuilds(), 1U) << "the repeated parameter sets do not rebuild";
    EXPECT_TRUE(out.errors.empty());
}

// Nothing is shown before the first IDR picture, nor after a unit libavcodec
// refuses until the next one, nor after the parameter sets change (as when the
// headset's camera changes mode) until their own.
TEST_F(VideoDecoderTest, WaitsForAnIdrAtStartAfterARefusedUnitAndAfterNewParameterSets) {
    Output out;
    out.decoder.decode(filtered(units_[1], all, filtered(units_[0], parameterSets)));
    EXPECT_TRUE(out.pictures.empty());
    out.decoder.decode(units_[0]);
    out.decoder.decode(Bytes{0, 0, 1, 0x41, 0xC4, 0xFF}); // a slice of parameter set 14
    for (std::size_t i = 2; i < keyframe_; ++i) {
        out.decoder.decode(units_[i]);
    }
    EXPECT_EQ(out.pictures.size(), 1U);
    EXPECT_TRUE(out.decoder.waitingForKeyframe());
    out.decoder.decode(units_[keyframe_]);
    ASSERT_EQ(out.pictures.size(), 2U);
    expectPicture(out.pictures.back(), keyframe_);
    const std::vector<Bytes>& second = test::testStream("256x144").units;
    const std::uint64_t rebuilds = out.decoder.rebuilds();
    out.decoder.decode(filtered(second[1], all, filtered(second[0], parameterSets)));
    EXPECT_EQ(out.decoder.rebuilds(), rebuilds + 1);
    EXPECT_TRUE(out.decoder.waitingForKeyframe()) << "no IDR of the new size yet";
    for (const Bytes& unit : second) {
        out.decoder.decode(unit);
    }
    ASSERT_EQ(out.pictures.size(), 2 + second.size());
    EXPECT_EQ(out.pictures.back().width(), 256);
}

// A picture that lost its second half on the way, then whole ones again up to
// and past the next keyframe, which arrives damaged too and with a parameter
// set spoilt.
TEST_F(VideoDecoderTest, DamagedUnitsAreConcealedOrHeldAsThePolicySays) {
    Bytes spoilt = filtered(units_[keyframe_], sps);
    spoilt[7] ^= 0x01; // the level, after the start code, header, profile and constraints
    spoilt = filtered(units_[keyframe_], ~sps, spoilt);
    for (const LossPolicy policy : {LossPolicy::Hold, LossPolicy::KeepMoving}) {
        SCOPED_TRACE(static_cast<int>(policy));
        Output out;
        out.decoder.setLossPolicy(policy);
        // Damaged before any keyframe: its parameter sets are not taken.
        out.decoder.decode(units_[0], true);
        out.decoder.decode(units_[1]);
        EXPECT_TRUE(out.pictures.empty());
        out.decoder.decode(units_[0]);
        out.decoder.decode(units_[1]);
        out.decoder.decode(std::span(units_[2]).first(units_[2].size() / 2), true);
        for (std::size_t i = 3; i < keyframe_; ++i) {
            out.decoder.decode(units_[i]);
        }
        out.decoder.decode(std::span(spoilt).first(spoilt.size() / 2), true);
        out.decoder.decode(units_[keyframe_ + 1]);
        EXPECT_EQ(out.decoder.rebuilds(), 1U);
        EXPECT_TRUE(out.errors.empty());
        if (policy == LossPolicy::Hold) {
            EXPECT_EQ(out.pictures.size(), 2U) << "held from the loss to the next whole keyframe";
            continue;
        }
        ASSERT_EQ(out.pictures.size(), keyframe_ + 2);
        for (std::size_t i = 0; i < out.pictures.size(); ++i) {
            EXPECT_EQ(out.pictures[i].isDamaged(), i == 2 || i == keyframe_) << i;
        }
        expectPicture(out.pictures[1], 1);
    }
}

TEST_F(VideoDecoderTest, UnusableParameterSetsAreReportedOnceAndGoodOnesRecover) {
    for (const std::string name : {"", "yuv444p", "yuv420p10le", "8208x16"}) {
        SCOPED_TRACE(name); // "": too short for a profile
        const Bytes picture =
            filtered(units_[0], ~sps,
                     name.empty() ? Bytes{0, 0, 0, 1, 0x67, 0x42}
                                  : filtered(test::testStream(name).units.at(0), sps));
        Output out;
        out.decoder.decode(picture);
        out.decoder.decode(picture);
        EXPECT_EQ(out.errors, std::vector<std::string>{std::string(Messages::unsupportedFormat)});
        EXPECT_TRUE(out.pictures.empty());
        out.decoder.decode(units_[0]);
        EXPECT_EQ(out.pictures.size(), 1U);
        EXPECT_EQ(out.errors.size(), 1U);
    }
}

} // namespace
} // namespace vistrel
