// The display copies each picture in BT.601 limited range once into a video
// frame of the same layout, plane by plane despite different strides, hands
// every other one over as RGBA, and removes the picture on flush.
#include "ui/VideoDisplay.h"

#include "SessionRig.h"

#include <QSignalSpy>
#include <QVideoFrame>
#include <QVideoSink>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

using vistrel::PixelBuffer;
using vistrel::VideoDisplay;

namespace {

// A picture whose every byte tells its plane, row and column.
PixelBuffer patterned(int width, int height, AVPixelFormat format) {
    AVFrame* frame = av_frame_alloc();
    frame->width = width;
    frame->height = height;
    frame->format = format;
    EXPECT_GE(av_frame_get_buffer(frame, 64), 0);
    const int planes = format == AV_PIX_FMT_NV12 ? 2 : 3;
    for (int plane = 0; plane < planes; ++plane) {
        const int rows = plane == 0 ? height : height / 2;
        const int bytes = plane == 0 || format == AV_PIX_FMT_NV12 ? width : width / 2;
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < bytes; ++column) {
                frame->data[plane][row * frame->linesize[plane] + column] =
                    static_cast<uint8_t>(plane * 80 + row * 7 + column * 3);
            }
        }
    }
    PixelBuffer picture = PixelBuffer::referencing(frame);
    av_frame_free(&frame);
    return picture;
}

void expectSamePixels(const PixelBuffer& picture, QVideoFrame shown) {
    ASSERT_TRUE(shown.map(QVideoFrame::ReadOnly));
    const AVFrame* frame = picture.frame();
    const bool nv12 = picture.format() == AV_PIX_FMT_NV12;
    ASSERT_EQ(shown.planeCount(), nv12 ? 2 : 3);
    for (int plane = 0; plane < shown.planeCount(); ++plane) {
        const int rows = plane == 0 ? frame->height : frame->height / 2;
        const int bytes = plane == 0 || nv12 ? frame->width : frame->width / 2;
        for (int row = 0; row < rows; ++row) {
            const std::ptrdiff_t shownRow =
                static_cast<std::ptrdiff_t>(row) * shown.bytesPerLine(plane);
            const std::ptrdiff_t sourceRow =
                static_cast<std::ptrdiff_t>(row) * frame->linesize[plane];
            ASSERT_EQ(std::memcmp(shown.bits(plane) + shownRow, frame->data[plane] + sourceRow,
                                  static_cast<std::size_t>(bytes)),
                      0)
                << "plane " << plane << " row " << row;
        }
    }
    shown.unmap();
}

} // namespace

TEST(VideoDisplay, ShowsYuv420pAndNv12PicturesByteForByte) {
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12}) {
        VideoDisplay display;
        QVideoSink sink;
        display.setVideoSink(&sink);
        const PixelBuffer picture = patterned(200, 150 - 2, format);
        EXPECT_TRUE(display.show(picture));
        const QVideoFrame shown = sink.videoFrame();
        ASSERT_TRUE(shown.isValid());
        EXPECT_EQ(shown.size(), QSize(200, 148));
        EXPECT_EQ(shown.pixelFormat(), format == AV_PIX_FMT_NV12
                                           ? QVideoFrameFormat::Format_NV12
                                           : QVideoFrameFormat::Format_YUV420P);
        EXPECT_EQ(shown.surfaceFormat().colorSpace(), QVideoFrameFormat::ColorSpace_BT601);
        EXPECT_EQ(shown.surfaceFormat().colorRange(), QVideoFrameFormat::ColorRange_Video);
        expectSamePixels(picture, shown);
        EXPECT_EQ(display.shownCount(), 1U);

        display.flush();
        EXPECT_FALSE(sink.videoFrame().isValid());
    }
}

TEST(VideoDisplay, OtherEncodingsArriveAsRgbaConvertedByTheColourRule) {
    struct Row {
        AVPixelFormat format;
        AVColorSpace matrix;
        AVColorRange range;
        int grey; // what luma 200 means in the picture's range
    };
    for (const Row& row :
         {Row{AV_PIX_FMT_YUVJ420P, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, 200},
          Row{AV_PIX_FMT_NV12, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG, 200},
          Row{AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 214}}) {
        SCOPED_TRACE(av_get_pix_fmt_name(row.format));
        AVFrame* frame = av_frame_alloc();
        frame->width = 64;
        frame->height = 48;
        frame->format = row.format;
        frame->colorspace = row.matrix;
        frame->color_range = row.range;
        ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
        for (int plane = 0; plane < 3 && frame->data[plane] != nullptr; ++plane) {
            std::memset(frame->data[plane], plane == 0 ? 200 : 128,
                        static_cast<std::size_t>(frame->linesize[plane]) * (plane == 0 ? 48 : 24));
        }
        const PixelBuffer picture = PixelBuffer::referencing(frame);
        av_frame_free(&frame);

        VideoDisplay display;
        QVideoSink sink;
        display.setVideoSink(&sink);
        ASSERT_TRUE(display.show(picture));
        QVideoFrame shown = sink.videoFrame();
        ASSERT_EQ(shown.pixelFormat(), QVideoFrameFormat::Format_RGBA8888);
        ASSERT_EQ(shown.size(), QSize(64, 48));
        ASSERT_TRUE(shown.map(QVideoFrame::ReadOnly));
        const std::ptrdiff_t centre =
            std::ptrdiff_t{24} * shown.bytesPerLine(0) + 128; // pixel (32, 24)
        const uchar* pixel = shown.bits(0) + centre;
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(pixel[channel], row.grey, 2) << "channel " << channel;
        }
        shown.unmap();
    }
}

TEST(VideoDisplay, WithoutASinkNothingIsShownAndNothingFails) {
    VideoDisplay display;
    QSignalSpy failed(&display, &VideoDisplay::failed);
    EXPECT_FALSE(display.show(patterned(64, 48, AV_PIX_FMT_YUV420P)));
    display.flush();
    EXPECT_EQ(failed.count(), 0);
}

TEST(VideoDisplay, APictureItCannotShowIsReported) {
    VideoDisplay display;
    QVideoSink sink;
    display.setVideoSink(&sink);
    QSignalSpy failed(&display, &VideoDisplay::failed);
    EXPECT_FALSE(display.show(vistrel::test::makePicture(64, 48, AV_PIX_FMT_RGB24)));
    EXPECT_FALSE(display.show(PixelBuffer{}));
    EXPECT_EQ(failed.count(), 2);
    EXPECT_FALSE(sink.videoFrame().isValid());
}

TEST(VideoDisplay, ASinkThatGoesAwayIsForgotten) {
    VideoDisplay display;
    auto sink = std::make_unique<QVideoSink>();
    display.setVideoSink(sink.get());
    sink.reset();
    EXPECT_EQ(display.videoSink(), nullptr);
    EXPECT_FALSE(display.show(patterned(64, 48, AV_PIX_FMT_YUV420P)));
}
