// The road of a decoded picture from the decoder's thread to the screen: the
// one-slot mailbox, present() and the display, which copies the headset's
// pictures as they are and removes them at the stop.
#include "SessionRig.h"
#include "TestPictures.h"
#include "session/FrameMailbox.h"

#include <QVideoFrame>
#include <QVideoSink>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace vistrel::test {
namespace {

TEST(FrameMailbox, AProducerRacingTheGuiThreadAsksForOneDeliveryAndKeepsTheNewest) {
    FrameMailbox mailbox;
    std::vector<PixelBuffer> pictures;
    for (int i = 0; i < 8; ++i) {
        pictures.push_back(makeNoise(16 + 2 * i, 16, AV_PIX_FMT_YUV420P, i));
    }
    constexpr int count = 20000;
    std::atomic<int> pending{0};
    std::atomic<bool> twoAsked{false};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < count; ++i) {
            if (mailbox.post(pictures[i % 8]) && ++pending > 1) {
                twoAsked = true;
            }
        }
        done = true;
    });
    PixelBuffer last;
    std::uint64_t taken = 0;
    while (!done || pending > 0) {
        if (pending > 0) { // the delivery runs and takes what is there
            --pending;
            if (PixelBuffer picture = mailbox.take(); !picture.empty()) {
                last = std::move(picture);
                ++taken;
            }
        }
    }
    producer.join();
    EXPECT_FALSE(twoAsked);
    EXPECT_EQ(taken + mailbox.dropped(), static_cast<std::uint64_t>(count));
    EXPECT_EQ(last.frame(), pictures[(count - 1) % 8].frame());
}

TEST(SessionPicture, TheNewestOfAFlurryIsShownByteForByteUntilTheStop) {
    SessionRig rig;
    rig.startConnecting();
    StreamSession& session = rig.session();
    QVideoSink sink;
    session.display()->setVideoSink(&sink);
    const auto onFrame = SessionProbe::onFrame(session);
    const PixelBuffer newest = makeNoise(202, 148, AV_PIX_FMT_YUV420P, 3);
    std::thread([&] {
        onFrame(makeNoise(320, 180, AV_PIX_FMT_YUV420P, 1));
        onFrame(makeNoise(640, 360, AV_PIX_FMT_YUV420P, 2));
        onFrame(newest);
    }).join();
    ASSERT_TRUE(waitFor([&] { return SessionProbe::presentedCount(session) > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(SessionProbe::presentedCount(session), 1U);
    EXPECT_EQ(session.resolution(), QStringLiteral("202 \u00d7 148"));
    QVideoFrame shown = sink.videoFrame();
    ASSERT_EQ(shown.pixelFormat(), QVideoFrameFormat::Format_YUV420P);
    ASSERT_TRUE(shown.map(QVideoFrame::ReadOnly));
    const AVFrame& frame = *newest.frame();
    for (int plane = 0; plane < 3; ++plane) {
        for (int row = 0; row < (plane == 0 ? frame.height : frame.height / 2); ++row) {
            ASSERT_EQ(std::memcmp(shown.bits(plane) + row * shown.bytesPerLine(plane),
                                  frame.data[plane] + row * frame.linesize[plane],
                                  plane == 0 ? frame.width : frame.width / 2),
                      0)
                << "plane " << plane << " row " << row;
        }
    }
    shown.unmap();
    session.end();
    EXPECT_FALSE(sink.videoFrame().isValid());
}

} // namespace
} // namespace vistrel::test
