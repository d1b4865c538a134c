// The one-slot picture hand-off: newest wins, one delivery at a time, and a
// producer thread racing the GUI thread loses nothing it should keep.
#include "session/FrameMailbox.h"

#include "SessionRig.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using vistrel::FrameMailbox;
using vistrel::PixelBuffer;
using vistrel::test::makePicture;

TEST(FrameMailbox, KeepsTheNewestPictureAndAsksForOneDeliveryAtATime) {
    FrameMailbox mailbox;
    const PixelBuffer first = makePicture(16, 16);
    const PixelBuffer second = makePicture(32, 32);
    const PixelBuffer third = makePicture(48, 48);
    EXPECT_TRUE(mailbox.post(first));
    EXPECT_FALSE(mailbox.post(second));
    EXPECT_FALSE(mailbox.post(third));
    EXPECT_EQ(mailbox.dropped(), 2U);
    const PixelBuffer taken = mailbox.take();
    EXPECT_EQ(taken.frame(), third.frame());
    EXPECT_TRUE(mailbox.take().empty());
    // Taking re-arms the delivery.
    EXPECT_TRUE(mailbox.post(first));
    mailbox.clear();
    EXPECT_TRUE(mailbox.take().empty());
    EXPECT_TRUE(mailbox.post(second));
}

TEST(FrameMailbox, ReleasesReplacedPictures) {
    FrameMailbox mailbox;
    const PixelBuffer kept = makePicture(16, 16);
    const AVBufferRef* buffer = kept.frame()->buf[0];
    EXPECT_TRUE(mailbox.post(PixelBuffer::referencing(kept.frame())));
    EXPECT_EQ(av_buffer_get_ref_count(buffer), 2);
    EXPECT_FALSE(mailbox.post(makePicture(16, 16)));
    EXPECT_EQ(av_buffer_get_ref_count(buffer), 1);
    EXPECT_EQ(mailbox.dropped(), 1U);
    EXPECT_EQ(mailbox.take().width(), 16);
}

TEST(FrameMailbox, AProducerRacingAConsumerNeverQueuesMoreThanOneDelivery) {
    FrameMailbox mailbox;
    constexpr int count = 20000;
    std::vector<PixelBuffer> pictures;
    pictures.reserve(8);
    for (int i = 0; i < 8; ++i) {
        pictures.push_back(makePicture(16 + 2 * i, 16));
    }
    std::atomic<int> pending{0};
    std::atomic<int> maxPending{0};
    std::atomic<bool> done{false};
    std::atomic<int> taken{0};

    std::thread producer([&] {
        for (int i = 0; i < count; ++i) {
            if (mailbox.post(pictures[static_cast<std::size_t>(i % 8)])) {
                const int now = ++pending;
                int seen = maxPending.load();
                while (now > seen && !maxPending.compare_exchange_weak(seen, now)) {
                }
            }
        }
        done = true;
    });
    PixelBuffer last;
    while (!done || pending > 0) {
        if (pending > 0) {
            // The delivery starts running, then takes what is there.
            --pending;
            const PixelBuffer picture = mailbox.take();
            if (!picture.empty()) {
                ++taken;
                last = picture;
            }
        }
    }
    producer.join();
    EXPECT_EQ(maxPending.load(), 1);
    EXPECT_GT(taken.load(), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(taken.load()) + mailbox.dropped(),
              static_cast<std::uint64_t>(count));
    // The very last picture posted was delivered.
    EXPECT_EQ(last.frame(), pictures[(count - 1) % 8].frame());
}
