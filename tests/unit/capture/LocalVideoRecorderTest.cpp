#include "capture/LocalVideoRecorder.h"

#include "MediaFiles.h"
#include "Messages.h"
#include "RecorderTestSupport.h"
#include "RunProcess.h"
#include "ScratchFolder.h"
#include "StreamError.h"
#include "TestPictures.h"
#include "capture/Mp4Writer.h"

#include <gtest/gtest.h>
#include <latch>
#include <regex>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vistrel {
namespace {

using test::appendAndWait;
using test::FailureLog;
using test::finishAndWait;
using test::listFolder;
using test::readFile;
using test::readMp4;
using test::ScratchFolder;
using test::TmpfsMount;
using test::writeFile;

constexpr int W = 320;
constexpr int H = 240;
constexpr std::int64_t frameUnits = 2000; // 1/30 s in units of 1/60000 s

PixelBuffer grey(AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    return test::makeSolid(W, H, format, {120, 130, 140});
}

bool hasWorkingFile(const std::vector<std::string>& names) {
    static const std::regex pattern(
        R"(\.Vistrel-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\.mp4)");
    for (const auto& name : names) {
        if (std::regex_match(name, pattern)) {
            return true;
        }
    }
    return false;
}

TEST(RecordingSettings, BitRateIsSixBitsPerPixelBetweenTwoAndFortyMegabits) {
    struct Row {
        int width;
        int height;
        std::int64_t expected;
    };
    for (const Row& row : std::vector<Row>{{1280, 720, 5'529'600},
                                           {640, 360, 2'000'000},
                                           {3840, 2160, 40'000'000},
                                           {1920, 1080, 12'441'600},
                                           {578, 577, 2'001'036},
                                           {2, 2, 2'000'000}}) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        const auto settings = Mp4Writer::settingsFor(row.width, row.height);
        EXPECT_EQ(settings.averageBitRate, row.expected);
        EXPECT_EQ(settings.maxKeyFrameInterval, 30);
        EXPECT_EQ(settings.expectedFrameRate, 30);
        EXPECT_EQ(settings.timeBase.num, 1);
        EXPECT_EQ(settings.timeBase.den, 60000);
    }
}

class RecorderFormats : public ::testing::TestWithParam<AVPixelFormat> {};

TEST_P(RecorderFormats, RecordsAnOrdinaryMp4ThatReadsBackAsWritten) {
    ScratchFolder folder;
    const auto destination = folder / "clip.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    EXPECT_TRUE(hasWorkingFile(listFolder(folder.path())));
    EXPECT_EQ(recorder->workingFile().parent_path(), folder.path());

    const double start = 5123.25;
    const auto picture = test::makeQuadrants(
        W, H, GetParam(), AVCOL_SPC_BT709,
        {test::Rgb{200, 40, 90}, {30, 160, 220}, {250, 250, 250}, {10, 10, 10}});
    constexpr int frames = 40;
    for (int i = 0; i < frames; ++i) {
        ASSERT_TRUE(appendAndWait(*recorder, picture, start + i / 30.0));
    }
    const CaptureResult result = finishAndWait(recorder);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.location, destination);
    EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"clip.mp4"});

    const auto info = readMp4(destination);
    ASSERT_EQ(info.error, "");
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.otherStreams, 0);
    EXPECT_EQ(info.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(info.width, W);
    EXPECT_EQ(info.height, H);
    EXPECT_EQ(info.timeBase.num, 1);
    EXPECT_EQ(info.timeBase.den, 60000);
    ASSERT_EQ(info.pts.size(), static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        EXPECT_EQ(info.pts[i], i * frameUnits) << "frame " << i;
    }
    EXPECT_EQ(info.duration, info.pts.back() + frameUnits);
    EXPECT_EQ(info.decodedFrames, frames);
    EXPECT_EQ(info.decodeErrors, 0);
    // A key frame at least every 30 frames.
    int sinceKey = 0;
    for (bool key : info.keyFrames) {
        sinceKey = key ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 30);
    }
    EXPECT_TRUE(info.keyFrames.front());
    EXPECT_EQ(recorder->counters().written, static_cast<std::uint64_t>(frames));
}

INSTANTIATE_TEST_SUITE_P(DecoderLayouts, RecorderFormats,
                         ::testing::Values(AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12),
                         [](const auto& info) {
                             return std::string(info.param == AV_PIX_FMT_NV12 ? "NV12" : "YUV420P");
                         });

TEST(LocalVideoRecorder, KeepsTheColoursOfAnNv12Picture) {
    ScratchFolder folder;
    const auto destination = folder / "colour.mp4";
    const test::Rgb colour{200, 60, 30};
    const auto expected = test::toVideoRange(colour, AVCOL_SPC_BT709);
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    const auto picture = test::makeSolid(W, H, AV_PIX_FMT_NV12, colour);
    ASSERT_TRUE(appendAndWait(*recorder, picture, 1.0));
    ASSERT_TRUE(finishAndWait(recorder).ok());
    const auto info = readMp4(destination);
    ASSERT_EQ(info.decodedFrames, 1);
    EXPECT_NEAR(info.centreY, expected.y, 3);
    EXPECT_NEAR(info.centreCb, expected.cb, 3);
    EXPECT_NEAR(info.centreCr, expected.cr, 3);
}

TEST(LocalVideoRecorder, FfprobeAndFfmpegReadTheFileFromStartToEnd) {
    ScratchFolder folder;
    const auto destination = folder / "played.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    for (int i = 0; i < 45; ++i) {
        ASSERT_TRUE(appendAndWait(*recorder, test::makeMoving(W, H, AV_PIX_FMT_YUV420P, i),
                                  100 + i / 30.0));
    }
    ASSERT_TRUE(finishAndWait(recorder).ok());

    const auto probe =
        test::runProcess({"ffprobe", "-v", "error", "-show_entries",
                          "format=format_name:stream=codec_name,width,height,nb_frames,duration,"
                          "color_space,color_range",
                          "-of", "default=noprint_wrappers=1", destination.string()});
    ASSERT_EQ(probe.exitStatus, 0) << probe.err;
    EXPECT_EQ(probe.err, "");
    EXPECT_NE(probe.out.find("codec_name=h264"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("width=320"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("height=240"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("nb_frames=45"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("duration=1.500000"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("format_name=mov,mp4"), std::string::npos) << probe.out;
    // Untagged pictures are BT.601 in limited range, and the file says so:
    // players would otherwise read an HD recording as BT.709.
    EXPECT_NE(probe.out.find("color_space=smpte170m"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("color_range=tv"), std::string::npos) << probe.out;

    const auto play = test::runProcess(
        {"ffmpeg", "-v", "error", "-xerror", "-i", destination.string(), "-f", "null", "-"});
    EXPECT_EQ(play.exitStatus, 0) << play.err;
    EXPECT_EQ(play.err, "");
}

TEST(LocalVideoRecorder, RecordsPicturesDecodedFromAHeadsetLikeStream) {
    ScratchFolder folder;
    // What the headset sends: H.264 in MPEG-TS from ffmpeg's libx264.
    const auto stream = folder / "camera.ts";
    const auto made = test::runProcess(
        {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=1",
         "-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "mpegts", stream.string()});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const auto pictures = test::decodeAll(stream);
    ASSERT_EQ(pictures.size(), 30U);

    const auto destination = folder / "camera.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_TRUE(appendAndWait(*recorder, pictures[i], 40.0 + static_cast<double>(i) / 30));
    }
    ASSERT_TRUE(finishAndWait(recorder).ok());
    const auto info = readMp4(destination);
    EXPECT_EQ(info.pts.size(), 30U);
    EXPECT_EQ(info.decodedFrames, 30);
    EXPECT_EQ(info.duration, 29 * frameUnits + frameUnits);
}

TEST(LocalVideoRecorder, FourthFrameIsDroppedWhileThreeAreInFlight) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "busy.mp4", W, H);
    std::latch release(1);
    recorder->setBeforeFrameWork([&release] { release.wait(); });
    const auto picture = grey();
    for (int i = 0; i < 4; ++i) {
        recorder->append(picture, 10 + i / 30.0);
    }
    EXPECT_EQ(recorder->counters().droppedBackPressure, 1U);
    release.count_down();
    ASSERT_TRUE(test::waitProcessed(*recorder, 3));
    // Room again: the next frame is taken.
    ASSERT_TRUE(appendAndWait(*recorder, picture, 11));
    EXPECT_EQ(recorder->counters().droppedBackPressure, 1U);
    EXPECT_EQ(recorder->counters().written, 4U);
    ASSERT_TRUE(finishAndWait(recorder).ok());
    EXPECT_EQ(readMp4(folder / "busy.mp4").pts.size(), 4U);
}

TEST(LocalVideoRecorder, PresentationTimesStartAtZeroAndMustAdvance) {
    struct Row {
        const char* name;
        std::vector<double> times;
        std::vector<std::int64_t> written;
    };
    const std::vector<Row> rows{
        {"first frame is zero whatever its time", {86400.5, 86400.6}, {0, 6000}},
        {"earlier than the first becomes zero and does not advance", {50.0, 49.0, 50.1}, {0, 6000}},
        {"same 1/60000 s unit after rounding",
         {7.0, 7.5, 7.5 + 0.3 / 60000, 7.6},
         {0, 30000, 36000}},
        {"rounds to the nearest unit", {1.0, 1.0 + 0.6 / 60000, 1.0 + 2.4 / 60000}, {0, 1, 2}},
        {"equal times", {3.0, 3.0, 3.0}, {0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder folder;
        auto recorder = LocalVideoRecorder::create(folder / "t.mp4", W, H);
        const auto picture = grey();
        for (double time : row.times) {
            ASSERT_TRUE(appendAndWait(*recorder, picture, time));
        }
        EXPECT_EQ(recorder->counters().droppedNotAdvancing, row.times.size() - row.written.size());
        ASSERT_TRUE(finishAndWait(recorder).ok());
        const auto info = readMp4(folder / "t.mp4");
        EXPECT_EQ(info.pts, row.written);
        EXPECT_EQ(info.duration, row.written.back() + frameUnits);
    }
}

TEST(LocalVideoRecorder, ResolutionChangeIsReportedOnceAndTheFramesSoFarAreSaved) {
    ScratchFolder folder;
    const auto destination = folder / "resize.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    const FailureLog failures(*recorder);
    ASSERT_TRUE(appendAndWait(*recorder, grey(), 1.0));
    ASSERT_TRUE(appendAndWait(*recorder, test::makeSolid(640, 480, AV_PIX_FMT_YUV420P, {}), 1.1));
    ASSERT_TRUE(appendAndWait(*recorder, test::makeSolid(160, 120, AV_PIX_FMT_NV12, {}), 1.2));
    ASSERT_TRUE(appendAndWait(*recorder, grey(), 1.3));
    const CaptureResult result = finishAndWait(recorder);
    EXPECT_EQ(failures.messages(),
              std::vector<std::string>{std::string(Messages::resolutionChanged)});
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readMp4(destination).pts, std::vector<std::int64_t>{0});
}

TEST(LocalVideoRecorder, UnencodablePictureIsReportedAndTheFramesSoFarAreSaved) {
    ScratchFolder folder;
    const auto destination = folder / "odd-layout.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    const FailureLog failures(*recorder);
    AVFrame* odd = av_frame_clone(grey().frame());
    odd->format = AV_PIX_FMT_NONE; // no converter takes it
    const auto unencodable = PixelBuffer::referencing(odd);
    av_frame_free(&odd);
    ASSERT_TRUE(appendAndWait(*recorder, grey(), 1.0));
    ASSERT_TRUE(appendAndWait(*recorder, unencodable, 1.1));
    ASSERT_TRUE(appendAndWait(*recorder, unencodable, 1.2));
    const CaptureResult result = finishAndWait(recorder);
    EXPECT_EQ(failures.messages(), std::vector<std::string>{std::string(Messages::encodeFailed)});
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readMp4(destination).pts, std::vector<std::int64_t>{0});
}

TEST(LocalVideoRecorder, FinishBeforeAnyFrameFailsAndLeavesNoFile) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "empty.mp4", W, H);
    const CaptureResult result = finishAndWait(recorder);
    EXPECT_EQ(result.error, Messages::noFramesRecorded);
    EXPECT_TRUE(result.location.empty());
    EXPECT_TRUE(listFolder(folder.path()).empty());
}

TEST(LocalVideoRecorder, SecondFinishDoesNothing) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "twice.mp4", W, H);
    ASSERT_TRUE(appendAndWait(*recorder, grey(), 1.0));
    std::atomic<int> calls{0};
    const CaptureResult first = finishAndWait(recorder);
    recorder->finish([&calls](const CaptureResult&) { ++calls; });
    // Frames after finishing are refused at the door.
    recorder->append(grey(), 2.0);
    recorder.reset(); // joins the recorder thread: everything queued has run
    EXPECT_TRUE(first.ok());
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(readMp4(folder / "twice.mp4").pts.size(), 1U);
}

TEST(LocalVideoRecorder, ReplacesAnExistingFileOnlyWhenFinished) {
    ScratchFolder folder;
    const auto destination = folder / "existing.mp4";
    writeFile(destination, "the user's older file");
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(appendAndWait(*recorder, grey(), i / 30.0));
    }
    EXPECT_EQ(readFile(destination), "the user's older file");
    ASSERT_TRUE(finishAndWait(recorder).ok());
    EXPECT_EQ(readMp4(destination).pts.size(), 5U);
    EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"existing.mp4"});
}

TEST(LocalVideoRecorder, FailedMoveKeepsTheFinishedFileAndNamesIt) {
    struct Row {
        const char* name;
        std::function<void(const std::filesystem::path& folder,
                           const std::filesystem::path& destination)>
            spoil;
        std::string reason;
        bool workingFileRemains;
    };
    const std::vector<Row> rows{
        {"a folder took the destination's name",
         [](const auto&, const auto& destination) {
             std::filesystem::create_directory(destination);
             writeFile(destination / "inside", "x");
         },
         "Is a directory.", true},
        {"the folder vanished",
         [](const auto& folder, const auto&) { std::filesystem::remove_all(folder); },
         "No such file or directory.", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder scratch;
        const auto folder = scratch / "target";
        std::filesystem::create_directory(folder);
        const auto destination = folder / "clip.mp4";
        auto recorder = LocalVideoRecorder::create(destination, W, H);
        const auto working = recorder->workingFile();
        ASSERT_TRUE(appendAndWait(*recorder, grey(), 0));
        row.spoil(folder, destination);
        const CaptureResult result = finishAndWait(recorder);
        EXPECT_EQ(result.error, "Could not save to the selected location: " + row.reason +
                                    " The finished recording is at " + working.string() + ".");
        EXPECT_EQ(result.error, Messages::moveFailed(row.reason, working.string()));
        EXPECT_EQ(std::filesystem::exists(working), row.workingFileRemains);
        if (row.workingFileRemains) {
            EXPECT_EQ(readMp4(working).pts.size(), 1U);
        }
    }
}

TEST(LocalVideoRecorder, CreationWhereNoFileCanBeWrittenThrowsTheSystemText) {
    // The caller puts "Could not start recording: " before the text.
    const auto refusal = [](const std::filesystem::path& folder) -> std::string {
        try {
            LocalVideoRecorder::create(folder / "clip.mp4", W, H);
        } catch (const StreamError& error) {
            return error.message();
        }
        return "created";
    };
    ScratchFolder scratch;
    EXPECT_EQ(refusal(scratch / "missing"), "No such file or directory.");
    if (!TmpfsMount::unavailableReason().empty()) {
        GTEST_SKIP() << "read-only folder: " << TmpfsMount::unavailableReason();
    }
    const TmpfsMount readOnly(64UL * 1024, true);
    EXPECT_EQ(refusal(readOnly.path()), "Read-only file system.");
    // On a full disk the file is made, but not its header.
    const TmpfsMount full(64UL * 1024);
    writeFile(full.path() / "filler", std::string(128UL * 1024, 'x'));
    EXPECT_EQ(refusal(full.path()), "No space left on device.");
    EXPECT_EQ(listFolder(full.path()), std::vector<std::string>{"filler"});
}

TEST(LocalVideoRecorder, UnrecordableSizeIsRefusedUpFront) {
    ScratchFolder folder;
    for (auto [width, height] : std::vector<std::pair<int, int>>{{0, 0}, {-2, 100}, {321, 240}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        try {
            LocalVideoRecorder::create(folder / "odd.mp4", width, height);
            ADD_FAILURE() << "accepted";
        } catch (const StreamError& error) {
            EXPECT_EQ(error.message(), Messages::cannotRecordFormat);
        }
        EXPECT_TRUE(listFolder(folder.path()).empty());
    }
}

TEST(LocalVideoRecorder, FullDiskFailsClearlyAndLeavesTheDestinationUntouched) {
    if (const auto reason = TmpfsMount::unavailableReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    TmpfsMount disk(96UL * 1024);
    const auto destination = disk.path() / "full.mp4";
    writeFile(destination, "keep me");
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    const FailureLog failures(*recorder);
    for (int i = 0; i < 90; ++i) {
        ASSERT_TRUE(
            appendAndWait(*recorder, test::makeNoise(W, H, AV_PIX_FMT_YUV420P, i), i / 30.0));
    }
    const CaptureResult result = finishAndWait(recorder);
    const std::string expected = Messages::recordingWriteFailed("No space left on device.");
    EXPECT_EQ(result.error, expected);
    // Either a frame hit the full disk, or only the final index did.
    const auto reported = failures.messages();
    EXPECT_LE(reported.size(), 1U);
    if (!reported.empty()) {
        EXPECT_EQ(reported.front(), expected);
    }
    EXPECT_EQ(readFile(destination), "keep me");
    EXPECT_EQ(listFolder(disk.path()), std::vector<std::string>{"full.mp4"});
}

TEST(LocalVideoRecorder, KilledProcessNeverTouchesTheDestination) {
    ScratchFolder folder;
    const auto destination = folder / "precious.mp4";
    writeFile(destination, "an earlier recording");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto recorder = LocalVideoRecorder::create(destination, W, H);
        for (int i = 0; i < 20; ++i) {
            appendAndWait(*recorder, test::makeMoving(W, H, AV_PIX_FMT_YUV420P, i), i / 30.0);
        }
        ::kill(::getpid(), SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(readFile(destination), "an earlier recording");
    const auto names = listFolder(folder.path());
    EXPECT_EQ(names.size(), 2U);
    EXPECT_TRUE(hasWorkingFile(names));
}

} // namespace
} // namespace vistrel
