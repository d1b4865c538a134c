#include "capture/LocalVideoRecorder.h"

#include "MediaFiles.h"
#include "Messages.h"
#include "ScratchFolder.h"
#include "TestPictures.h"

#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace vistrel {
namespace {

using test::listFolder;
using test::readFile;
using test::readMovie;
using test::ScratchFolder;
using test::writeFile;
namespace fs = std::filesystem;

constexpr int W = 320;
constexpr int H = 240;

// The outcome of finishing; its error reads "timed out" when none came.
CaptureResult finishAndWait(const std::shared_ptr<LocalVideoRecorder>& recorder) {
    auto promise = std::make_shared<std::promise<CaptureResult>>();
    auto outcome = promise->get_future();
    recorder->finish([promise](const CaptureResult& result) { promise->set_value(result); });
    return outcome.wait_for(std::chrono::seconds(60)) == std::future_status::ready
               ? outcome.get()
               : CaptureResult{{}, "timed out"};
}

// Waits until `count` frames have been through the recorder's queue.
bool waitProcessed(const LocalVideoRecorder& recorder, std::uint64_t count) {
    for (int i = 0; i < 30000 && recorder.counters().processed < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return recorder.counters().processed >= count;
}

// One frame, taken whole: the recorder is done with it before the next comes.
bool appendAndWait(LocalVideoRecorder& recorder, const PixelBuffer& picture, double time) {
    const std::uint64_t before = recorder.counters().processed;
    recorder.append(picture, time);
    return waitProcessed(recorder, before + 1);
}

// Written under a hidden name, moved over the older file only when finished,
// with the permissions the umask gives; H.264 at 1/60000 s from 0, in both of
// the decoders' layouts, with their colours and the tags that say how to read them.
TEST(LocalVideoRecorder, RecordsAnMp4ThatReadsBackAsWritten) {
    const test::Rgb colour{200, 60, 30};
    const test::YCbCr expected = test::toVideoRange(colour, AVCOL_SPC_BT709);
    const mode_t umask = ::umask(027);
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12}) {
        SCOPED_TRACE(format);
        ScratchFolder folder;
        const auto destination = folder / "clip.mp4";
        writeFile(destination, "an older file");
        const auto picture =
            test::makeQuadrants(W, H, format, AVCOL_SPC_BT709, {colour, colour, colour, colour});
        auto recorder =
            LocalVideoRecorder::create(destination, W, H, colourEncodingOf(*picture.frame()));
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(appendAndWait(*recorder, picture, 5123.25 + i / 30.0));
        }
        EXPECT_EQ(readFile(destination), "an older file");
        EXPECT_EQ(listFolder(folder.path()).front()[0], '.');
        const CaptureResult result = finishAndWait(recorder);
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.location, destination);
        EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"clip.mp4"});
        EXPECT_EQ(fs::status(destination).permissions(), fs::perms(0640));

        const test::Movie movie = readMovie(destination);
        ASSERT_EQ(movie.error, "");
        EXPECT_EQ(movie.codec, AV_CODEC_ID_H264);
        EXPECT_EQ(movie.width, W);
        EXPECT_EQ(movie.height, H);
        EXPECT_EQ(movie.timeBase.num * 60000, movie.timeBase.den);
        ASSERT_EQ(movie.pts.size(), 40U);
        for (std::size_t i = 0; i < movie.pts.size(); ++i) {
            EXPECT_EQ(movie.pts[i], static_cast<std::int64_t>(i) * 2000);
        }
        EXPECT_EQ(movie.duration, 40 * 2000);
        ASSERT_EQ(movie.pictures.size(), 40U);
        const AVFrame* decoded = movie.pictures[0].frame();
        // The file says how to read its colours, as players would otherwise guess.
        EXPECT_EQ(decoded->colorspace, AVCOL_SPC_BT709);
        EXPECT_EQ(decoded->color_range, AVCOL_RANGE_MPEG);
        EXPECT_NEAR(decoded->data[0][H / 2 * decoded->linesize[0] + W / 2], expected.y, 3);
        EXPECT_NEAR(decoded->data[1][H / 4 * decoded->linesize[1] + W / 4], expected.cb, 3);
        EXPECT_NEAR(decoded->data[2][H / 4 * decoded->linesize[2] + W / 4], expected.cr, 3);
    }
    ::umask(umask);
}

// A time not after the last one written, in whole 1/60000 s, is dropped.
TEST(LocalVideoRecorder, PresentationTimesMustAdvance) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "t.mp4", W, H);
    for (const double time : {7.0, 6.9, 7.5, 7.5 + 0.3 / 60000, 7.6}) {
        ASSERT_TRUE(appendAndWait(*recorder, test::makePicture(W, H), time));
    }
    ASSERT_TRUE(finishAndWait(recorder).ok());
    EXPECT_EQ(readMovie(folder / "t.mp4", false).pts, (std::vector<std::int64_t>{0, 30000, 36000}));
}

TEST(LocalVideoRecorder, FourthFrameIsDroppedWhileThreeAreInFlight) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "busy.mp4", W, H);
    std::latch release(1);
    recorder->setBeforeFrameWork([&release] { release.wait(); });
    for (int i = 0; i < 4; ++i) {
        recorder->append(test::makePicture(W, H), 10 + i / 30.0);
    }
    release.count_down();
    ASSERT_TRUE(waitProcessed(*recorder, 3));
    ASSERT_TRUE(appendAndWait(*recorder, test::makePicture(W, H), 11)); // room again
    EXPECT_EQ(recorder->counters().droppedBackPressure, 1U);
    ASSERT_TRUE(finishAndWait(recorder).ok());
    EXPECT_EQ(readMovie(folder / "busy.mp4", false).pts.size(), 4U);
}

// The destination keeps what it held whatever goes wrong, and a finished
// recording that cannot be moved there is named.
TEST(LocalVideoRecorder, FailedMoveKeepsTheFinishedFileAndNamesIt) {
    ScratchFolder folder;
    const auto destination = folder / "clip.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    ASSERT_TRUE(appendAndWait(*recorder, test::makePicture(W, H), 0));
    fs::create_directory(destination);
    writeFile(destination / "inside", "x");
    const CaptureResult result = finishAndWait(recorder);
    EXPECT_EQ(result.error, "Could not save to the selected location: Is a directory. The "
                            "finished recording is at " +
                                recorder->workingFile().string() + ".");
    EXPECT_EQ(readMovie(recorder->workingFile(), false).pts.size(), 1U);
}

TEST(LocalVideoRecorder, FullDiskFailsClearlyAndLeavesTheDestinationUntouched) {
    const test::TmpfsMount disk(96UL * 1024);
    const auto destination = disk.path() / "full.mp4";
    writeFile(destination, "keep me");
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    for (int i = 0; i < 90; ++i) {
        ASSERT_TRUE(appendAndWait(*recorder, test::makeNoise(W, H, static_cast<std::uint32_t>(i)),
                                  i / 30.0));
    }
    EXPECT_EQ(finishAndWait(recorder).error,
              Messages::recordingWriteFailed("No space left on device."));
    EXPECT_EQ(readFile(destination), "keep me");
    EXPECT_EQ(listFolder(disk.path()), std::vector<std::string>{"full.mp4"});
}

TEST(LocalVideoRecorder, KilledMidRecordingLeavesTheDestinationUntouched) {
    ScratchFolder folder;
    const auto destination = folder / "precious.mp4";
    writeFile(destination, "an earlier recording");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto recorder = LocalVideoRecorder::create(destination, W, H);
        for (int i = 0; i < 20; ++i) {
            appendAndWait(*recorder, test::makeNoise(W, H, static_cast<std::uint32_t>(i)),
                          i / 30.0);
        }
        ::kill(::getpid(), SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(destination), "an earlier recording");
    const auto names = listFolder(folder.path());
    ASSERT_EQ(names.size(), 2U);
    EXPECT_EQ(names[0][0], '.') << "the working file, hidden";
}

TEST(LocalVideoRecorder, NothingToSaveLeavesNoFile) {
    ScratchFolder folder;
    EXPECT_EQ(finishAndWait(LocalVideoRecorder::create(folder / "empty.mp4", W, H)).error,
              Messages::noFramesRecorded);
    EXPECT_TRUE(listFolder(folder.path()).empty());
}

} // namespace
} // namespace vistrel
