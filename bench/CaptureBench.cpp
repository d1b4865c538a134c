// What recording and screenshots cost at the headset's 1280 × 720.
//   BM_EncodeFrame720p: encoder and muxer time for one frame, per layout.
//   BM_Recorder720pAt30fps: frames offered in real time at 30 fps for 4 s;
//     counts what was written and what back-pressure dropped. Arg 1 pins the
//     whole process to one core first.
//   BM_Screenshot720p: conversion, PNG encoding and the atomic write.
#include "ScratchFolder.h"
#include "TestPictures.h"
#include "capture/LocalVideoRecorder.h"
#include "capture/Mp4Writer.h"
#include "capture/ScreenshotCapture.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <ctime>
#include <future>
#include <sched.h>
#include <thread>
#include <vector>

namespace {

using namespace vistrel;

constexpr int W = 1280;
constexpr int H = 720;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::vector<PixelBuffer> scene(AVPixelFormat format, int count) {
    std::vector<PixelBuffer> pictures;
    pictures.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        pictures.push_back(test::makeMoving(W, H, format, i));
    }
    return pictures;
}

void BM_EncodeFrame720p(benchmark::State& state) {
    const auto format = state.range(0) == 0 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_NV12;
    state.SetLabel(format == AV_PIX_FMT_NV12 ? "NV12 (converted)" : "YUV420P");
    const auto pictures = scene(format, 60);
    test::ScratchFolder folder;
    Mp4Writer writer(folder / "bench.mp4", Mp4Writer::settingsFor(W, H));
    std::int64_t pts = 0;
    std::size_t index = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        if (!writer.write(pictures[index].frame(), pts)) {
            state.SkipWithError("write failed");
            break;
        }
        pts += 2000;
        index = (index + 1) % pictures.size();
    }
    // The encoder works on threads of its own; this is the whole process.
    state.counters["process_cpu_ms_per_frame"] =
        (processCpuSeconds() - cpuBefore) * 1000 / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    writer.finish();
}
BENCHMARK(BM_EncodeFrame720p)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

void BM_Recorder720pAt30fps(benchmark::State& state) {
    if (state.range(0) == 1) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    const auto pictures = scene(AV_PIX_FMT_YUV420P, 60);
    constexpr int offered = 120; // 4 s at 30 fps
    double written = 0;
    double dropped = 0;
    for (auto _ : state) {
        test::ScratchFolder folder;
        auto recorder = LocalVideoRecorder::create(folder / "live.mp4", W, H);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < offered; ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(33'333) * i);
            const std::chrono::duration<double> now =
                std::chrono::steady_clock::now().time_since_epoch();
            recorder->append(pictures[static_cast<std::size_t>(i) % pictures.size()], now.count());
        }
        std::promise<CaptureResult> done;
        recorder->finish([&done](const CaptureResult& result) { done.set_value(result); });
        const CaptureResult result = done.get_future().get();
        if (!result.ok()) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        written += static_cast<double>(recorder->counters().written);
        dropped += static_cast<double>(recorder->counters().droppedBackPressure);
    }
    state.counters["offered"] = offered;
    state.counters["written"] = benchmark::Counter(written, benchmark::Counter::kAvgIterations);
    state.counters["dropped_backpressure"] =
        benchmark::Counter(dropped, benchmark::Counter::kAvgIterations);
    if (state.range(0) == 1) {
        cpu_set_t all;
        CPU_ZERO(&all);
        for (unsigned i = 0; i < std::thread::hardware_concurrency(); ++i) {
            CPU_SET(i, &all);
        }
        sched_setaffinity(0, sizeof all, &all);
    }
}
BENCHMARK(BM_Recorder720pAt30fps)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Screenshot720p(benchmark::State& state) {
    const auto format = state.range(0) == 0 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_NV12;
    state.SetLabel(format == AV_PIX_FMT_NV12 ? "NV12" : "YUV420P");
    const auto picture = test::makeMoving(W, H, format, 5);
    test::ScratchFolder folder;
    for (auto _ : state) {
        ScreenshotCapture::save(picture, folder / "shot.png");
    }
}
BENCHMARK(BM_Screenshot720p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // x264's closing statistics would bury the figures.
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
