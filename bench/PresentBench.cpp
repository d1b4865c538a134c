// What showing one picture costs the GUI thread: making it the display's
// current picture (both decoded layouts; the planes go to the GPU later, on
// the render thread, as they are), and the mailbox hand-off from the
// decoder's thread.
#include "session/FrameMailbox.h"
#include "session/VideoDisplay.h"

#include <QGuiApplication>

extern "C" {
#include <libavutil/frame.h>
}

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

vistrel::PixelBuffer picture(int width, int height, AVPixelFormat format) {
    AVFrame* frame = av_frame_alloc();
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        return {};
    }
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->buf[plane] != nullptr; ++plane) {
        std::memset(frame->buf[plane]->data, 0x55, frame->buf[plane]->size);
    }
    vistrel::PixelBuffer buffer = vistrel::PixelBuffer::referencing(frame);
    av_frame_free(&frame);
    return buffer;
}

void showPicture(benchmark::State& state, AVPixelFormat format) {
    vistrel::VideoDisplay display;
    const vistrel::PixelBuffer shown =
        picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), format);
    for (auto _ : state) {
        benchmark::DoNotOptimize(display.show(shown));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ShowYuv420p(benchmark::State& state) {
    showPicture(state, AV_PIX_FMT_YUV420P);
}
void BM_ShowNv12(benchmark::State& state) {
    showPicture(state, AV_PIX_FMT_NV12);
}

void BM_MailboxPostAndTake(benchmark::State& state) {
    vistrel::FrameMailbox mailbox;
    const vistrel::PixelBuffer shown = picture(1280, 720, AV_PIX_FMT_YUV420P);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mailbox.post(shown));
        benchmark::DoNotOptimize(mailbox.take());
    }
}

BENCHMARK(BM_ShowYuv420p)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowNv12)->Args({1280, 720})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MailboxPostAndTake);

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
