#include "capture/LocalVideoRecorder.h"

#include "MediaFiles.h"
#include "Messages.h"
#include "ScratchFolder.h"
#include "TestPictures.h"

#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace vistrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int W = 320, H = 240;

CaptureResult finishAndWait(LocalVideoRecorder& recorder) {
    std::promise<CaptureResult> done;
    recorder.finish([&done](const CaptureResult& result) { done.set_value(result); });
    return done.get_future().get();
}

// Waits until the recorder is done with the frame, so that none is dropped for back-pressure.
bool appendAndWait(LocalVideoRecorder& recorder, const PixelBuffer& picture, double time) {
    const std::uint64_t before = recorder.counters().processed;
    recorder.append(picture, time);
    for (int i = 0; i < 60000 && recorder.counters().processed == before; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return recorder.counters().processed > before;
}

// Written under a hidden name and moved over the older file only when
// finished; both layouts and ranges read back as they were, with their tags.
TEST(LocalVideoRecorder, RecordsAnMp4ThatReadsBackAsWritten) {
    const Rgb colour{240, 230, 20};
    const mode_t umask = ::umask(027);
    const std::pair<AVPixelFormat, bool> rows[] = {
        {AV_PIX_FMT_NV12, false}, {AV_PIX_FMT_YUV420P, true}, {AV_PIX_FMT_YUVJ420P, true}};
    for (const auto& [format, full] : rows) {
        SCOPED_TRACE(std::to_string(format) + (full ? " full" : " video") + " range");
        ScratchFolder folder;
        const auto destination = folder / "clip.mp4";
        writeFile(destination, "an older file");
        const auto picture =
            makeQuadrants(W, H, format, AVCOL_SPC_BT709, {colour, colour, colour, colour}, full);
        auto recorder =
            LocalVideoRecorder::create(destination, W, H, colourEncodingOf(*picture.frame()));
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(appendAndWait(*recorder, picture, 5123.25 + i / 30.0));
            ASSERT_TRUE(appendAndWait(*recorder, picture, 5123.25 + (i + 0.3 / 2000) / 30.0));
        }
        EXPECT_EQ(readFile(destination), "an older file");
        EXPECT_EQ(listFolder(folder.path()).front()[0], '.');
        const CaptureResult result = finishAndWait(*recorder);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"clip.mp4"});
        EXPECT_EQ(fs::status(destination).permissions(), fs::perms(0640));
        const Movie movie = readMovie(destination);
        EXPECT_EQ(movie.codec, AV_CODEC_ID_H264);
        EXPECT_EQ(std::pair(movie.width, movie.height), std::pair(W, H));
        EXPECT_EQ(movie.timeBase.num * 60000, movie.timeBase.den);
        ASSERT_EQ(movie.pts.size(), 40U);
        for (std::size_t i = 0; i < 40; ++i) {
            EXPECT_EQ(movie.pts[i], std::int64_t(i) * 2000) << i;
        }
        EXPECT_EQ(movie.duration, 40 * 2000);
        const AVFrame* decoded = movie.pictures.at(0).frame();
        EXPECT_EQ(decoded->colorspace, AVCOL_SPC_BT709);
        EXPECT_EQ(decoded->color_range, full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG);
        const YCbCr expected = toYCbCr(colour, AVCOL_SPC_BT709, full);
        EXPECT_NEAR(decoded->data[0][H / 2 * decoded->linesize[0] + W / 2], expected.y, 3);
        EXPECT_NEAR(decoded->data[1][H / 4 * decoded->linesize[1] + W / 4], expected.cb, 3);
        EXPECT_NEAR(decoded->data[2][H / 4 * decoded->linesize[2] + W / 4], expected.cr, 3);
    }
    ::umask(umask);
}

// The destination keeps what it held whatever goes wrong. A disk fills while noise frames are
// written, or at the finish, when the index of many small grey ones (over a page) is.
TEST(LocalVideoRecorder, FailuresLeaveTheDestinationUntouched) {
    const std::string full = Messages::recordingWriteFailed("No space left on device.");
    const std::tuple<int, bool, std::string> rows[] = {
        {10, false, full}, {1100, true, full}, {0, false, std::string(Messages::noFramesRecorded)}};
    for (const auto& [frames, fillAfterFrames, error] : rows) {
        SCOPED_TRACE(frames);
        const TmpfsMount disk(96UL * 1024);
        const auto destination = disk.path() / "full.mp4";
        writeFile(destination, "keep me");
        const int side = fillAfterFrames ? 16 : W;
        auto recorder = LocalVideoRecorder::create(destination, side, side);
        const auto grey = makePicture(side, side);
        for (int i = 0; i < frames; ++i) {
            ASSERT_TRUE(appendAndWait(
                *recorder, fillAfterFrames ? grey : makeNoise(side, side, std::uint32_t(i)),
                i / 30.0));
        }
        if (fillAfterFrames) {
            ASSERT_EQ(recorder->counters().written, 1100U);
            writeFile(disk.path() / "filler", std::string(96UL * 1024, 'f'));
        }
        EXPECT_EQ(finishAndWait(*recorder).error, error);
        EXPECT_EQ(readFile(destination), "keep me");
        for (const std::string& name : listFolder(disk.path())) {
            EXPECT_NE(name[0], '.') << "a working file left";
        }
    }

    // A finished recording that cannot be moved into place is kept and named.
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "clip.mp4", W, H);
    ASSERT_TRUE(appendAndWait(*recorder, makePicture(W, H), 0));
    fs::create_directory(folder / "clip.mp4");
    EXPECT_EQ(finishAndWait(*recorder).error,
              "Could not save to the selected location: Is a directory. The finished recording "
              "is at " +
                  recorder->workingFile().string() + ".");
    EXPECT_EQ(readMovie(recorder->workingFile(), false).pts.size(), 1U);
}

} // namespace
} // namespace vistrel
