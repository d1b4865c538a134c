// The recorder and screenshots with several threads at once; run under
// ThreadSanitizer as well as the address sanitizer.
#include "MediaFiles.h"
#include "RecorderTestSupport.h"
#include "ScratchFolder.h"
#include "TestPictures.h"
#include "capture/LocalVideoRecorder.h"
#include "capture/ScreenshotCapture.h"

#include <array>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <pthread.h>
#include <thread>
#include <vector>

namespace vistrel {
namespace {

using test::finishAndWait;
using test::readMp4;
using test::readPng;
using test::ScratchFolder;

constexpr int W = 320;
constexpr int H = 240;

TEST(RecorderThreads, EveryOfferedFrameIsWrittenOrCountedAsDropped) {
    ScratchFolder folder;
    const auto destination = folder / "burst.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    std::array<PixelBuffer, 8> pictures;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        pictures.at(i) = test::makeMoving(W, H, AV_PIX_FMT_NV12, static_cast<int>(i));
    }
    constexpr int offered = 300;
    // One producer offers frames far faster than they can be encoded.
    std::thread producer([&] {
        for (int i = 0; i < offered; ++i) {
            recorder->append(pictures.at(static_cast<std::size_t>(i) % pictures.size()), i / 240.0);
            if (i % 10 == 0) {
                std::this_thread::yield();
            }
        }
    });
    producer.join();
    const CaptureResult result = finishAndWait(recorder);
    ASSERT_TRUE(result.ok()) << result.error;
    const auto counters = recorder->counters();
    EXPECT_EQ(counters.written + counters.droppedBackPressure + counters.droppedNotAdvancing,
              static_cast<std::uint64_t>(offered));
    EXPECT_EQ(counters.processed, counters.written + counters.droppedNotAdvancing);
    EXPECT_GT(counters.droppedBackPressure, 0U);
    const auto info = readMp4(destination);
    EXPECT_EQ(info.pts.size(), counters.written);
    EXPECT_EQ(info.decodedFrames, static_cast<int>(counters.written));
}

TEST(RecorderThreads, RecorderOutlivesItsOwnerUntilTheCompletionHasRun) {
    ScratchFolder folder;
    const auto destination = folder / "let-go.mp4";
    std::promise<CaptureResult> outcome;
    std::promise<std::string> failureThread;
    {
        auto recorder = LocalVideoRecorder::create(destination, W, H);
        recorder->setOnFailure([&failureThread](const std::string&) {
            std::array<char, 16> name{};
            pthread_getname_np(pthread_self(), name.data(), name.size());
            failureThread.set_value(name.data());
        });
        recorder->append(test::makeSolid(W, H, AV_PIX_FMT_YUV420P, {1, 2, 3}), 1.0);
        recorder->append(test::makeSolid(W, H, AV_PIX_FMT_YUV420P, {4, 5, 6}), 1.1);
        recorder->append(test::makeSolid(64, 64, AV_PIX_FMT_YUV420P, {4, 5, 6}), 1.2);
        recorder->finish([&outcome](const CaptureResult& result) { outcome.set_value(result); });
        // The owner lets go at once; the queued work still holds the recorder.
    }
    auto done = outcome.get_future();
    ASSERT_EQ(done.wait_for(test::recorderPatience), std::future_status::ready);
    const CaptureResult result = done.get();
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(failureThread.get_future().get(), "vistrel-record");
    EXPECT_EQ(readMp4(destination).pts, (std::vector<std::int64_t>{0, 6000}));
}

TEST(RecorderThreads, FinishFromAnotherThreadWhileFramesAreQueued) {
    ScratchFolder folder;
    const auto destination = folder / "handover.mp4";
    auto recorder = LocalVideoRecorder::create(destination, W, H);
    const auto picture = test::makeMoving(W, H, AV_PIX_FMT_YUV420P, 3);
    for (int i = 0; i < 3; ++i) {
        recorder->append(picture, i / 30.0);
    }
    auto result = std::async(std::launch::async, [&] { return finishAndWait(recorder); }).get();
    ASSERT_TRUE(result.ok()) << result.error;
    // Finishing is queued behind the frames already accepted.
    EXPECT_EQ(readMp4(destination).pts.size(), 3U);
}

TEST(ScreenshotThreads, ScreenshotsTakenAtTheSameMomentAllSucceed) {
    ScratchFolder folder;
    const auto picture = test::makeQuadrants(
        W, H, AV_PIX_FMT_NV12, AVCOL_SPC_BT709,
        {test::Rgb{200, 40, 90}, {30, 160, 220}, {250, 250, 250}, {10, 10, 10}});
    constexpr int threads = 6;
    std::latch start(threads);
    std::vector<std::future<std::string>> results;
    for (int i = 0; i < threads; ++i) {
        // Half of them race for one file name, the others write their own.
        const auto path =
            folder / (i % 2 == 0 ? std::string("same.png") : "own-" + std::to_string(i) + ".png");
        results.push_back(std::async(std::launch::async, [&, path] {
            start.arrive_and_wait();
            try {
                ScreenshotCapture::save(picture, path);
                return std::string();
            } catch (const std::exception& error) {
                return std::string(error.what());
            }
        }));
    }
    for (auto& result : results) {
        EXPECT_EQ(result.get(), "");
    }
    const auto names = test::listFolder(folder.path());
    EXPECT_EQ(names, (std::vector<std::string>{"own-1.png", "own-3.png", "own-5.png", "same.png"}));
    for (const auto& name : names) {
        const auto png = readPng(folder / name);
        EXPECT_EQ(png.error, "") << name;
        EXPECT_EQ(png.width, W);
        EXPECT_EQ(png.height, H);
    }
}

} // namespace
} // namespace vistrel
