// The recorder and screenshots with several threads at once; run under
// ThreadSanitizer as well as the address sanitizer.
#include "MediaFiles.h"
#include "RecorderTestSupport.h"
#include "ScratchFolder.h"
#include "TestPictures.h"
#include "capture/ScreenshotCapture.h"

#include <gtest/gtest.h>
#include <latch>

namespace vistrel {
namespace {

using test::ScratchFolder;

TEST(RecorderThreads, EveryOfferedFrameIsWrittenOrCountedAsDropped) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "burst.mp4", 320, 240);
    const auto picture = test::makePicture(320, 240, AV_PIX_FMT_NV12);
    std::thread producer([&] { // far faster than frames can be encoded
        for (int i = 0; i < 300; ++i) {
            recorder->append(picture, i / 240.0);
        }
    });
    producer.join();
    ASSERT_TRUE(test::finishAndWait(recorder).ok());
    const auto counters = recorder->counters();
    EXPECT_EQ(counters.written + counters.droppedBackPressure + counters.droppedNotAdvancing, 300U);
    EXPECT_GT(counters.droppedBackPressure, 0U);
    EXPECT_EQ(test::readMovie(folder / "burst.mp4", false).pts.size(), counters.written);
}

TEST(RecorderThreads, RecorderOutlivesItsOwnerUntilTheCompletionHasRun) {
    ScratchFolder folder;
    std::promise<CaptureResult> outcome;
    auto recorder = LocalVideoRecorder::create(folder / "let-go.mp4", 320, 240);
    recorder->append(test::makePicture(320, 240), 1.0);
    recorder->finish([&](const CaptureResult& result) { outcome.set_value(result); });
    recorder.reset(); // the queued work still holds it
    auto done = outcome.get_future();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(done.get().ok());
    EXPECT_EQ(test::readMovie(folder / "let-go.mp4", false).pts.size(), 1U);
}

TEST(ScreenshotThreads, ScreenshotsTakenAtTheSameMomentAllSucceed) {
    ScratchFolder folder;
    const auto picture = test::makePicture(320, 240, AV_PIX_FMT_NV12);
    constexpr int threads = 6;
    std::latch start(threads);
    std::vector<std::future<std::string>> results;
    for (int i = 0; i < threads; ++i) {
        // Half of them race for one file name, the others write their own.
        const auto path = folder / (i % 2 == 0 ? "same.png" : "own-" + std::to_string(i) + ".png");
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
        EXPECT_EQ(test::readPng(folder / name).width, 320) << name;
    }
}

} // namespace
} // namespace vistrel
