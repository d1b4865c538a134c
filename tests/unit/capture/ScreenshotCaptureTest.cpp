#include "capture/ScreenshotCapture.h"

#include "MediaFiles.h"
#include "Messages.h"
#include "RunProcess.h"
#include "ScratchFolder.h"
#include "StreamError.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

namespace vistrel {
namespace {

using test::listFolder;
using test::readFile;
using test::readPng;
using test::Rgb;
using test::ScratchFolder;
using test::TmpfsMount;
using test::writeFile;

// The message of what save() threw, or "" when it did not throw.
std::string saveError(const PixelBuffer& picture, const std::filesystem::path& path) {
    try {
        ScreenshotCapture::save(picture, path);
        return {};
    } catch (const StreamError& error) {
        return error.message();
    }
}

const char* formatName(AVPixelFormat format) {
    return format == AV_PIX_FMT_NV12 ? "NV12" : "YUV420P";
}

TEST(ScreenshotCapture, ColoursComeBackWithinTwoLevelsForEachMatrixAndLayout) {
    const std::array<Rgb, 4> colours{
        Rgb{200, 40, 90}, {30, 160, 220}, {235, 235, 20}, {90, 90, 90}};
    struct Row {
        AVPixelFormat format;
        AVColorSpace matrix;
    };
    for (const Row& row : std::vector<Row>{{AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709},
                                           {AV_PIX_FMT_NV12, AVCOL_SPC_BT709},
                                           {AV_PIX_FMT_YUV420P, AVCOL_SPC_SMPTE170M},
                                           {AV_PIX_FMT_NV12, AVCOL_SPC_BT470BG}}) {
        SCOPED_TRACE(std::string(formatName(row.format)) + " " + av_color_space_name(row.matrix));
        ScratchFolder folder;
        const auto path = folder / "shot.png";
        ASSERT_EQ(saveError(test::makeQuadrants(160, 90, row.format, row.matrix, colours), path),
                  "");
        const auto png = readPng(path);
        ASSERT_EQ(png.error, "");
        EXPECT_EQ(png.width, 160);
        EXPECT_EQ(png.height, 90);
        EXPECT_EQ(png.bitDepth, 8);
        EXPECT_EQ(png.colourType, 6); // RGBA
        EXPECT_TRUE(png.srgbChunk);
        const std::array<std::pair<int, int>, 4> centres{
            std::pair{40, 22}, {120, 22}, {40, 67}, {120, 67}};
        for (std::size_t i = 0; i < 4; ++i) {
            const unsigned char* pixel = png.at(centres.at(i).first, centres.at(i).second);
            SCOPED_TRACE("quadrant " + std::to_string(i));
            EXPECT_NEAR(pixel[0], colours.at(i).r, 2);
            EXPECT_NEAR(pixel[1], colours.at(i).g, 2);
            EXPECT_NEAR(pixel[2], colours.at(i).b, 2);
            EXPECT_EQ(pixel[3], 255);
        }
    }
}

TEST(ScreenshotCapture, UntaggedPicturesAreReadAsBt601) {
    ScratchFolder folder;
    const Rgb colour{200, 40, 90};
    const auto picture = test::makeQuadrants(64, 64, AV_PIX_FMT_YUV420P, AVCOL_SPC_SMPTE170M,
                                             {colour, colour, colour, colour});
    // Same samples, with the matrix tag removed.
    AVFrame* untagged = av_frame_clone(picture.frame());
    untagged->colorspace = AVCOL_SPC_UNSPECIFIED;
    untagged->color_range = AVCOL_RANGE_UNSPECIFIED;
    const auto plain = PixelBuffer::referencing(untagged);
    av_frame_free(&untagged);
    ASSERT_EQ(saveError(plain, folder / "plain.png"), "");
    const auto png = readPng(folder / "plain.png");
    EXPECT_NEAR(png.at(32, 32)[0], colour.r, 2);
    EXPECT_NEAR(png.at(32, 32)[1], colour.g, 2);
    EXPECT_NEAR(png.at(32, 32)[2], colour.b, 2);
}

TEST(ScreenshotCapture, AgreesWithFfmpegOnADecodedHeadsetPicture) {
    ScratchFolder folder;
    const auto stream = folder / "camera.ts";
    const auto made = test::runProcess(
        {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=0.2",
         "-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "mpegts", stream.string()});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const auto pictures = test::decodeAll(stream);
    ASSERT_FALSE(pictures.empty());
    ASSERT_EQ(saveError(pictures.front(), folder / "ours.png"), "");
    // ffmpeg's own conversion of the same first picture, accurately rounded.
    const auto reference =
        test::runProcess({"ffmpeg", "-v", "error", "-i", stream.string(), "-frames:v", "1",
                          "-sws_flags", "bicubic+accurate_rnd+full_chroma_int", "-pix_fmt", "rgba",
                          (folder / "ffmpeg.png").string()});
    ASSERT_EQ(reference.exitStatus, 0) << reference.err;
    const auto ours = readPng(folder / "ours.png");
    const auto theirs = readPng(folder / "ffmpeg.png");
    ASSERT_EQ(ours.error, "");
    ASSERT_EQ(theirs.error, "");
    ASSERT_EQ(ours.rgba.size(), theirs.rgba.size());
    double total = 0;
    for (std::size_t i = 0; i < ours.rgba.size(); ++i) {
        total += std::abs(static_cast<int>(ours.rgba[i]) - static_cast<int>(theirs.rgba[i]));
    }
    EXPECT_LT(total / static_cast<double>(ours.rgba.size()), 1.0);
}

TEST(ScreenshotCapture, PngHasThePicturesOwnSize) {
    for (auto [width, height] : std::vector<std::pair<int, int>>{{2, 2}, {101, 57}, {1280, 720}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        ScratchFolder folder;
        ASSERT_EQ(saveError(test::makeSolid(width, height, AV_PIX_FMT_NV12, {10, 200, 30}),
                            folder / "s.png"),
                  "");
        const auto png = readPng(folder / "s.png");
        ASSERT_EQ(png.error, "");
        EXPECT_EQ(png.width, width);
        EXPECT_EQ(png.height, height);
        EXPECT_NEAR(png.at(width - 1, height - 1)[1], 200, 2);
    }
}

TEST(ScreenshotCapture, ReplacesAnExistingFileAndLeavesNoTemporaryFile) {
    // The longest name a folder takes is no trouble either.
    for (const std::string& name : {std::string("again.png"), std::string(251, 'n') + ".png"}) {
        ScratchFolder folder;
        const auto path = folder / name;
        writeFile(path, "older screenshot");
        ASSERT_EQ(saveError(test::makeSolid(32, 32, AV_PIX_FMT_YUV420P, {1, 2, 3}), path), "");
        EXPECT_EQ(readPng(path).error, "");
        EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{name});
        const auto mode = std::filesystem::status(path).permissions();
        EXPECT_NE(mode & std::filesystem::perms::owner_read, std::filesystem::perms::none);
    }
}

TEST(ScreenshotCapture, FailuresKeepTheOldFileAndSayWhy) {
    AVFrame* broken = av_frame_clone(test::makeSolid(32, 32, AV_PIX_FMT_YUV420P, {}).frame());
    broken->format = AV_PIX_FMT_NONE; // a layout no converter takes
    const auto unconvertible = PixelBuffer::referencing(broken);
    av_frame_free(&broken);

    struct Row {
        const char* name;
        PixelBuffer picture;
        std::string folder; // relative to the scratch folder
        std::string expected;
    };
    const auto good = test::makeSolid(32, 32, AV_PIX_FMT_YUV420P, {9, 9, 9});
    const std::vector<Row> rows{
        {"missing folder", good, "missing", "No such file or directory."},
        {"destination's folder is a file", good, "file", "Not a directory."},
        {"no picture", PixelBuffer(), ".", std::string(Messages::screenshotFailed)},
        {"picture cannot be converted", unconvertible, ".",
         std::string(Messages::screenshotFailed)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder scratch;
        writeFile(scratch / "file", "not a folder");
        writeFile(scratch / "old.png", "old");
        const auto path = scratch.path() / row.folder / "old.png";
        EXPECT_EQ(saveError(row.picture, path), row.expected);
        EXPECT_EQ(readFile(scratch / "old.png"), "old");
        EXPECT_EQ(listFolder(scratch.path()), (std::vector<std::string>{"file", "old.png"}));
    }
}

TEST(ScreenshotCapture, FullDiskLeavesTheOldFileAsItWas) {
    if (const auto reason = TmpfsMount::unavailableReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    TmpfsMount disk(64UL * 1024);
    const auto path = disk.path() / "shot.png";
    writeFile(path, "the previous screenshot");
    EXPECT_EQ(saveError(test::makeNoise(640, 480, AV_PIX_FMT_YUV420P, 7), path),
              "No space left on device.");
    EXPECT_EQ(readFile(path), "the previous screenshot");
    EXPECT_EQ(listFolder(disk.path()), std::vector<std::string>{"shot.png"});
}

TEST(ScreenshotCapture, ReadOnlyFolderGivesTheSystemText) {
    if (const auto reason = TmpfsMount::unavailableReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    TmpfsMount readOnly(64UL * 1024, true);
    EXPECT_EQ(saveError(test::makeSolid(8, 8, AV_PIX_FMT_NV12, {}), readOnly.path() / "x.png"),
              "Read-only file system.");
}

} // namespace
} // namespace vistrel
