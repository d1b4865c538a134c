// The recorder and screenshots with several threads at once (also run under ThreadSanitizer).
#include "MediaFiles.h"
#include "ScratchFolder.h"
#include "TestPictures.h"
#include "capture/LocalVideoRecorder.h"
#include "capture/ScreenshotCapture.h"

#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <thread>

namespace vistrel {
namespace {

using test::ScratchFolder;

// Three frames in flight: the fourth is dropped, and there is room again once
// they are done. The owner lets go at once; the queued work still holds it.
TEST(RecorderThreads, TheFourthFrameIsDroppedWhileThreeAreInFlight) {
    ScratchFolder folder;
    auto recorder = LocalVideoRecorder::create(folder / "busy.mp4", 320, 240);
    std::latch release(1);
    recorder->setBeforeFrameWork([&release] { release.wait(); });
    const auto picture = test::makePicture(320, 240, AV_PIX_FMT_NV12);
    for (int i = 0; i < 4; ++i) {
        recorder->append(picture, i / 30.0);
    }
    release.count_down();
    while (recorder->counters().processed < 3) {
        std::this_thread::yield();
    }
    recorder->append(picture, 1);
    std::promise<LocalVideoRecorder::Counters> outcome;
    recorder->finish([&, r = recorder.get()](const CaptureResult& result) {
        EXPECT_TRUE(result.ok()) << result.error;
        outcome.set_value(r->counters());
    });
    recorder.reset();
    const auto counters = outcome.get_future().get();
    EXPECT_EQ(counters.droppedBackPressure, 1U);
    EXPECT_EQ(test::readMovie(folder / "busy.mp4", false).pts.size(), 4U);
}

TEST(ScreenshotThreads, ScreenshotsTakenAtTheSameMomentAllSucceed) {
    ScratchFolder folder;
    const auto picture = test::makePicture(320, 240, AV_PIX_FMT_NV12);
    constexpr int threads = 6;
    std::latch start(threads);
    std::vector<std::future<void>> results;
    for (int i = 0; i < threads; ++i) {
        // Half of them race for one file name, the others write their own.
        const auto path = folder / (i % 2 == 0 ? "same.png" : "own-" + std::to_string(i) + ".png");
        results.push_back(std::async(std::launch::async, [&, path] {
            start.arrive_and_wait();
            ScreenshotCapture::save(picture, path); // a failure throws out of get()
        }));
    }
    for (auto& result : results) {
        EXPECT_NO_THROW(result.get());
    }
    const auto names = test::listFolder(folder.path());
    EXPECT_EQ(names, (std::vector<std::string>{"own-1.png", "own-3.png", "own-5.png", "same.png"}));
    for (const auto& name : names) {
        EXPECT_EQ(test::readPng(folder / name).width, 320) << name;
    }
}

} // namespace
} // namespace vistrel
