#include "receive/VideoDecoder.h"

#include "DecodedPictures.h"
#include "HeadsetStream.h"
#include "Messages.h"
#include "receive/AnnexB.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <random>

namespace vistrel {
namespace {

using test::Bytes;

struct Output {
    VideoDecoder decoder{VideoDecoder::Acceleration::software};
    std::vector<PixelBuffer> pictures;
    std::vector<std::string> errors;

    Output() {
        decoder.setOnFrame([this](const PixelBuffer& picture) { pictures.push_back(picture); });
        decoder.setOnError([this](const std::string& message) { errors.push_back(message); });
    }
};

int nalType(AnnexB::Unit unit) {
    return unit.empty() ? -1 : unit[0] & 0x1F;
}

bool contains(const Bytes& accessUnit, int type) {
    for (const AnnexB::Unit unit : AnnexB::units(accessUnit)) {
        if (nalType(unit) == type) {
            return true;
        }
    }
    return false;
}

// The access unit rebuilt from those of its NAL units that `keep` accepts.
template <typename Keep> Bytes filtered(const Bytes& accessUnit, Keep keep) {
    Bytes out;
    for (const AnnexB::Unit unit : AnnexB::units(accessUnit)) {
        if (keep(nalType(unit))) {
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), unit.begin(), unit.end());
        }
    }
    return out;
}

Bytes parameterSets(const Bytes& accessUnit) {
    return filtered(accessUnit, [](int type) { return type == 7 || type == 8; });
}

Bytes join(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Made once for all tests of this file.
struct Material {
    Bytes stream = test::encodeHeadsetStream(320, 240, 3.0);
    std::vector<Bytes> units = test::referenceAccessUnits(stream);
    std::vector<Bytes> pictures = test::referencePictures(stream, 320, 240);
};

const Material& material() {
    static const Material made = [] {
        av_log_set_level(AV_LOG_QUIET);
        return Material{};
    }();
    return made;
}

class VideoDecoderTest : public ::testing::Test {
protected:
    static const std::vector<Bytes>& units() { return material().units; }
    const std::vector<Bytes>* pictures_ = &material().pictures;
};

TEST_F(VideoDecoderTest, DecodesEveryPictureAsFFmpegDoesAndAtOnce) {
    ASSERT_GE(units().size(), 50U);
    ASSERT_EQ(pictures_->size(), units().size());
    ASSERT_TRUE(contains(units()[0], 5) && contains(units()[0], 7) && contains(units()[0], 8));
    std::size_t keyframesWithParameterSets = 0;
    for (const Bytes& unit : units()) {
        keyframesWithParameterSets += contains(unit, 7) ? 1 : 0;
    }
    ASSERT_GE(keyframesWithParameterSets, 2U) << "the repeats are what must not rebuild";

    Output out;
    for (std::size_t i = 0; i < units().size(); ++i) {
        out.decoder.decode(units()[i]);
        ASSERT_EQ(out.pictures.size(), i + 1) << "each picture leaves with its own access unit";
        if (i == 0) {
            EXPECT_FALSE(out.decoder.waitingForKeyframe());
            EXPECT_EQ(out.pictures[0].width(), 320);
            EXPECT_EQ(out.pictures[0].height(), 240);
        }
    }
    EXPECT_EQ(out.decoder.rebuilds(), 1U);
    EXPECT_FALSE(out.decoder.isHardwareAccelerated());
    EXPECT_TRUE(out.errors.empty());
    for (std::size_t i = 0; i < out.pictures.size(); ++i) {
        ASSERT_EQ(test::packedPicture(out.pictures[i]), (*pictures_)[i]) << "picture " << i;
    }
}

TEST_F(VideoDecoderTest, HandsOnOnlyTheSlicesLengthPrefixed) {
    // Parameter sets, delimiters and SEI are not part of the sample: adding
    // more of them, or garbage NAL types, changes no decoded pixel.
    Output out;
    const Bytes noise = {0,    0, 0, 1, 0x06, 0x05, 0x01, 0xAA, 0x80, 0, 0,    1,   0x09,
                         0xF0, 0, 0, 1, 0x0C, 0xFF, 0xFF, 0,    0,    1, 0x1F, 0x12};
    for (std::size_t i = 0; i < 10; ++i) {
        out.decoder.decode(join(noise, units()[i]));
    }
    ASSERT_EQ(out.pictures.size(), 10U);
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(test::packedPicture(out.pictures[i]), (*pictures_)[i]) << i;
    }
    const std::uint64_t submitted = out.decoder.submittedSamples();
    out.decoder.decode(noise);
    out.decoder.decode({});
    EXPECT_EQ(out.decoder.submittedSamples(), submitted) << "no slice, nothing submitted";
    EXPECT_EQ(out.decoder.rebuilds(), 1U);
    EXPECT_FALSE(out.decoder.waitingForKeyframe());
}

TEST_F(VideoDecoderTest, KeyframeGate) {
    const Bytes sets = parameterSets(units()[0]);
    const auto idrOnly = filtered(units()[0], [](int type) { return type != 7 && type != 8; });
    ASSERT_FALSE(contains(units()[1], 5));
    {
        // An IDR before any parameter set: no decoder, still waiting.
        Output out;
        out.decoder.decode(idrOnly);
        EXPECT_FALSE(out.decoder.hasSession());
        EXPECT_TRUE(out.decoder.waitingForKeyframe());
        EXPECT_EQ(out.decoder.rebuilds(), 0U);
        EXPECT_TRUE(out.pictures.empty());
    }
    {
        // Non-IDR pictures before the first IDR are dropped.
        Output out;
        out.decoder.decode(join(sets, units()[1]));
        out.decoder.decode(units()[2]);
        EXPECT_TRUE(out.decoder.hasSession());
        EXPECT_EQ(out.decoder.submittedSamples(), 0U);
        EXPECT_TRUE(out.pictures.empty());
        out.decoder.decode(units()[0]);
        ASSERT_EQ(out.pictures.size(), 1U);
        EXPECT_EQ(test::packedPicture(out.pictures[0]), (*pictures_)[0]);
        EXPECT_EQ(out.decoder.rebuilds(), 1U);
    }
    {
        // After a discontinuity everything waits for the next IDR.
        Output out;
        for (std::size_t i = 0; i < 5; ++i) {
            out.decoder.decode(units()[i]);
        }
        out.decoder.discontinuity();
        std::size_t nextIDR = 5;
        while (!contains(units()[nextIDR], 5)) {
            out.decoder.decode(units()[nextIDR++]);
        }
        EXPECT_EQ(out.pictures.size(), 5U);
        EXPECT_TRUE(out.decoder.waitingForKeyframe());
        out.decoder.decode(units()[nextIDR]);
        out.decoder.decode(units()[nextIDR + 1]);
        ASSERT_EQ(out.pictures.size(), 7U);
        EXPECT_EQ(test::packedPicture(out.pictures[5]), (*pictures_)[nextIDR]);
        EXPECT_EQ(test::packedPicture(out.pictures[6]), (*pictures_)[nextIDR + 1]);
        EXPECT_EQ(out.decoder.rebuilds(), 1U);
    }
}

TEST_F(VideoDecoderTest, ANewResolutionRebuildsAndWaitsForItsIDR) {
    // Two ffmpeg outputs joined, as when the headset's camera changes mode.
    const std::vector<Bytes> second =
        test::referenceAccessUnits(test::encodeHeadsetStream(256, 144, 1.0));
    ASSERT_GE(second.size(), 3U);
    Output out;
    for (std::size_t i = 0; i < 10; ++i) {
        out.decoder.decode(units()[i]);
    }
    ASSERT_EQ(out.pictures.size(), 10U);
    // The new parameter sets arrive with a picture that is no IDR.
    out.decoder.decode(join(parameterSets(second[0]), second[1]));
    EXPECT_EQ(out.decoder.rebuilds(), 2U);
    EXPECT_TRUE(out.decoder.waitingForKeyframe());
    EXPECT_EQ(out.pictures.size(), 10U);
    for (const Bytes& unit : second) {
        out.decoder.decode(unit);
    }
    EXPECT_EQ(out.decoder.rebuilds(), 2U) << "the same new sets again do not rebuild";
    ASSERT_EQ(out.pictures.size(), 10 + second.size());
    EXPECT_EQ(out.pictures.back().width(), 256);
    EXPECT_EQ(out.pictures.back().height(), 144);
    // And back.
    out.decoder.decode(units()[0]);
    EXPECT_EQ(out.decoder.rebuilds(), 3U);
    EXPECT_EQ(out.pictures.back().width(), 320);
}

TEST_F(VideoDecoderTest, UnusableParameterSetsAreReportedOnce) {
    auto firstSPS = [](const Bytes& stream) {
        const Bytes unit = test::referenceAccessUnits(stream).at(0);
        return filtered(unit, [](int type) { return type == 7; });
    };
    struct Case {
        const char* name;
        Bytes sps; // Annex B
    };
    const std::vector<Case> cases = {
        {"too short for a profile", {0, 0, 0, 1, 0x67, 0x42}},
        {"parameter set id out of range",
         {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E, 0x00, 0x00, 0x03, 0x00, 0x80}},
        {"4:4:4 from a real encoder", firstSPS(test::encodeHeadsetStream(64, 64, 0.1, "yuv444p"))},
        {"10 bits from a real encoder",
         firstSPS(test::encodeHeadsetStream(64, 64, 0.1, "yuv420p10le"))},
        {"wider than 8192 pixels", firstSPS(test::encodeHeadsetStream(8208, 16, 0.1))},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(contains(c.sps, 7)) << c.name;
        Output out;
        const Bytes pictureOnly = filtered(units()[0], [](int type) { return type != 7; });
        out.decoder.decode(join(c.sps, pictureOnly));
        out.decoder.decode(join(c.sps, pictureOnly));
        ASSERT_EQ(out.errors.size(), 1U) << c.name;
        EXPECT_EQ(out.errors[0], Messages::unsupportedFormat) << c.name;
        EXPECT_FALSE(out.decoder.hasSession()) << c.name;
        EXPECT_TRUE(out.pictures.empty()) << c.name;
        // Good parameter sets bring it back.
        out.decoder.decode(units()[0]);
        EXPECT_EQ(out.pictures.size(), 1U) << c.name;
        EXPECT_EQ(out.errors.size(), 1U) << c.name;
    }
}

TEST_F(VideoDecoderTest, HostileAccessUnitsNeverCrash) {
    std::mt19937 random(11);
    Output out;
    for (int round = 0; round < 3; ++round) {
        for (const Bytes& original : units()) {
            Bytes unit = original;
            std::uniform_int_distribution<std::size_t> position(0, unit.size() - 1);
            for (int flips = 0; flips < 1 + round * 4; ++flips) {
                unit[position(random)] = static_cast<std::uint8_t>(random());
            }
            if (round == 2) {
                unit.resize(unit.size() / 2);
            }
            out.decoder.decode(unit);
        }
    }
    for (const PixelBuffer& picture : out.pictures) {
        EXPECT_GT(picture.width(), 0);
        EXPECT_GT(picture.height(), 0);
    }
    // After all that, a clean stream decodes again from its next IDR.
    out.pictures.clear();
    out.decoder.discontinuity();
    for (const Bytes& unit : units()) {
        out.decoder.decode(unit);
    }
    EXPECT_FALSE(out.pictures.empty());
}

} // namespace
} // namespace vistrel
