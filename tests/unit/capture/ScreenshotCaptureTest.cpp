#include "capture/ScreenshotCapture.h"

#include "MediaFiles.h"
#include "Messages.h"
#include "ScratchFolder.h"
#include "StreamError.h"
#include "TestPictures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vistrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

// What save() threw, or "" when it did not.
std::string saveError(const PixelBuffer& picture, const fs::path& path) {
    try {
        ScreenshotCapture::save(picture, path);
        return {};
    } catch (const StreamError& error) {
        return error.message();
    }
}

TEST(ScreenshotCapture, ColoursComeBackForEachMatrixAndLayout) {
    const std::array<Rgb, 4> colours{
        Rgb{200, 40, 90}, {30, 160, 220}, {235, 235, 20}, {90, 90, 90}};
    const struct {
        AVPixelFormat format;
        AVColorSpace matrix; // untagged pictures are read as BT.601
        bool fullRange = false;
    } rows[] = {
        {AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709},       {AV_PIX_FMT_NV12, AVCOL_SPC_BT709},
        {AV_PIX_FMT_YUV420P, AVCOL_SPC_SMPTE170M},   {AV_PIX_FMT_NV12, AVCOL_SPC_BT470BG},
        {AV_PIX_FMT_YUV420P, AVCOL_SPC_UNSPECIFIED}, {AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, true}};
    const ScratchFolder folder;
    constexpr int w = 161, h = 91;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.format << ' ' << row.matrix << ' ' << row.fullRange);
        const auto picture = makeQuadrants(w, h, row.format, row.matrix, colours, row.fullRange);
        ASSERT_EQ(saveError(picture, folder / "s.png"), "");
        const Png png = readPng(folder / "s.png");
        ASSERT_EQ(std::tuple(png.error, png.width, png.height), std::tuple("", w, h));
        for (std::size_t i = 0; i < 4; ++i) {
            const unsigned char* pixel = png.at(i % 2 == 0 ? w / 4 : w - 1, i < 2 ? h / 4 : h - 1);
            EXPECT_NEAR(pixel[0], colours.at(i).r, 2) << i;
            EXPECT_NEAR(pixel[1], colours.at(i).g, 2) << i;
            EXPECT_NEAR(pixel[2], colours.at(i).b, 2) << i;
            EXPECT_EQ(pixel[3], 255);
        }
    }
}

// A screenshot replaces the older file only when whole, with the umask's permissions, beside even
// the longest name a folder takes; a failure says why and leaves the folder as it was.
TEST(ScreenshotCapture, SavesWholeFilesOrSaysWhy) {
    const ScratchFolder scratch;
    const TmpfsMount full(64UL * 1024);
    const auto good = makePicture(32, 32);
    AVFrame* odd = av_frame_clone(good.frame());
    odd->format = AV_PIX_FMT_NONE; // a layout no converter takes
    const auto unconvertible = PixelBuffer::referencing(odd);
    av_frame_free(&odd);
    const std::tuple<PixelBuffer, fs::path, std::string> rows[] = {
        {good, scratch / (std::string(251, 'n') + ".png"), ""},
        {good, scratch / "file/old.png", "Not a directory."},
        {unconvertible, scratch / "old.png", std::string(Messages::screenshotFailed)},
        {makeNoise(640, 480, 7), full.path() / "old.png", "No space left on device."},
    };
    writeFile(scratch / "file", "not a folder");
    const mode_t umask = ::umask(027);
    for (const auto& [picture, file, expected] : rows) {
        SCOPED_TRACE(file);
        writeFile(file, "old");
        const auto before = listFolder(file.parent_path());
        EXPECT_EQ(saveError(picture, file), expected);
        EXPECT_EQ(listFolder(file.parent_path()), before);
        if (expected.empty()) {
            EXPECT_EQ(readPng(file).width, 32);
            EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
        } else if (fs::exists(file)) {
            EXPECT_EQ(readFile(file), "old");
        }
    }
    ::umask(umask);
}

} // namespace
} // namespace vistrel
