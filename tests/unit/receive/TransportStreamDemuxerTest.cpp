#include "receive/TransportStreamDemuxer.h"

#include "HeadsetStream.h"
#include "TransportPackets.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace vistrel {
namespace {

using test::Bytes;
using test::packet;
using test::PacketOptions;

constexpr int pmtPid = 0x1000;
constexpr int videoPid = 0x100;

// A demuxer with its outputs recorded.
struct Recorder {
    TransportStreamDemuxer demuxer;
    std::vector<Bytes> units;
    int discontinuities = 0;

    Recorder() {
        demuxer.setOnAccessUnit([this](std::span<const std::uint8_t> unit) {
            units.emplace_back(unit.begin(), unit.end());
        });
        demuxer.setOnDiscontinuity([this] { ++discontinuities; });
    }

    void feed(const Bytes& bytes) { demuxer.append(bytes); }

    // PAT and PMT naming videoPid; what that reports is forgotten.
    void announce(int pid = videoPid) {
        feed(packet(0, 0, test::psiPayload(test::pat({{1, pmtPid}})), {.start = true}));
        feed(packet(pmtPid, 0, test::psiPayload(test::pmt({{0x1B, pid}})), {.start = true}));
        ASSERT_EQ(demuxer.videoPID(), pid);
        units.clear();
        discontinuities = 0;
    }
};

Bytes filled(std::size_t size, std::uint8_t first) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(first + i);
    }
    return data;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(TransportStreamDemuxerTest, CrcIsMpeg2) {
    const std::string check = "123456789";
    EXPECT_EQ(TransportStreamDemuxer::crc(Bytes(check.begin(), check.end())), 0x0376E6E7U);
    EXPECT_EQ(TransportStreamDemuxer::crc({}), 0xFFFFFFFFU);
    EXPECT_EQ(TransportStreamDemuxer::crc(test::pat({{1, pmtPid}})), 0U);
    Bytes damaged = test::pat({{1, pmtPid}});
    damaged[9] ^= 0x01;
    EXPECT_NE(TransportStreamDemuxer::crc(damaged), 0U);
}

TEST(TransportStreamDemuxerTest, FindsPacketsInAnyDatagramShape) {
    // Seven one-packet PES with declared lengths: each packet is one unit.
    std::vector<Bytes> packets;
    packets.reserve(7);
    for (int i = 0; i < 7; ++i) {
        packets.push_back(packet(videoPid, i,
                                 test::pes(filled(175, static_cast<std::uint8_t>(i * 10)), true),
                                 {.start = true}));
    }
    const Bytes seven = concat(packets);
    {
        Recorder r;
        r.announce();
        r.feed(seven);
        ASSERT_EQ(r.units.size(), 7U);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(r.units[static_cast<std::size_t>(i)],
                      filled(175, static_cast<std::uint8_t>(i * 10)));
        }
        EXPECT_EQ(r.demuxer.pendingBytes(), 0U);
    }
    {
        Recorder r;
        r.announce();
        r.feed(Bytes(packets[0].begin(), packets[0].begin() + 100));
        EXPECT_TRUE(r.units.empty());
        EXPECT_EQ(r.demuxer.pendingBytes(), 100U);
        r.feed(Bytes(packets[0].begin() + 100, packets[0].end()));
        EXPECT_EQ(r.units.size(), 1U);
        EXPECT_EQ(r.demuxer.pendingBytes(), 0U);
    }
    {
        Recorder r;
        r.announce();
        Bytes garbage = {0x01, 0x02, 0x03, 0x04, 0x05};
        r.feed(concat({garbage, packets[0], packets[1]}));
        EXPECT_EQ(r.units.size(), 2U);
        EXPECT_EQ(r.demuxer.droppedPackets(), 0U);
    }
    {
        // One byte at a time.
        Recorder r;
        r.announce();
        for (const std::uint8_t byte : seven) {
            r.feed(Bytes{byte});
            EXPECT_LT(r.demuxer.pendingBytes(), 188U);
        }
        EXPECT_EQ(r.units.size(), 7U);
    }
}

TEST(TransportStreamDemuxerTest, ErroredOrScrambledVideoPacketsResetTheCollection) {
    for (const PacketOptions& bad :
         {PacketOptions{.transportError = true}, PacketOptions{.scrambling = 2}}) {
        Recorder r;
        r.announce();
        r.feed(packet(videoPid, 0, test::pes(filled(175, 1)), {.start = true}));
        r.feed(packet(videoPid, 1, filled(184, 2), bad));
        EXPECT_EQ(r.discontinuities, 1);
        EXPECT_EQ(r.demuxer.collectedPESBytes(), 0U);
        // The rest of the broken PES is dropped; the next start is fresh.
        r.feed(packet(videoPid, 1, filled(184, 3)));
        r.feed(packet(videoPid, 2, test::pes(filled(175, 4)), {.start = true}));
        r.demuxer.flush();
        ASSERT_EQ(r.units.size(), 1U);
        EXPECT_EQ(r.units[0], filled(175, 4));
        EXPECT_EQ(r.demuxer.droppedPackets(), 0U) << "an errored packet updates no counter";
    }
}

TEST(TransportStreamDemuxerTest, ContinuityCounters) {
    struct Case {
        const char* name;
        std::vector<int> counters;
        std::uint64_t dropped;
        std::size_t units; // one-packet PES per packet used
        int discontinuities;
    };
    const std::vector<Case> cases = {
        {"duplicate ignored", {3, 3}, 0, 1, 0},
        {"gap counted, packet used", {3, 5}, 1, 2, 1},
        {"wrap is consecutive", {15, 0}, 0, 2, 0},
        {"run", {7, 8, 9, 10}, 0, 4, 0},
    };
    for (const Case& c : cases) {
        Recorder r;
        r.announce();
        for (const int counter : c.counters) {
            r.feed(packet(videoPid, counter,
                          test::pes(filled(175, static_cast<std::uint8_t>(counter)), true),
                          {.start = true}));
        }
        EXPECT_EQ(r.demuxer.droppedPackets(), c.dropped) << c.name;
        EXPECT_EQ(r.units.size(), c.units) << c.name;
        EXPECT_EQ(r.discontinuities, c.discontinuities) << c.name;
    }
}

TEST(TransportStreamDemuxerTest, AdaptationFields) {
    {
        // A field filling the packet carries no payload and leaves the
        // counter alone: 3, (full field with 9), 4 has no gap.
        Recorder r;
        r.announce();
        r.feed(packet(videoPid, 3, test::pes(filled(175, 1), true), {.start = true}));
        r.feed(packet(videoPid, 9, {},
                      {.adaptation = true, .adaptationBody = Bytes(183, 0xFF), .payload = true}));
        r.feed(packet(videoPid, 4, test::pes(filled(175, 2), true), {.start = true}));
        EXPECT_EQ(r.demuxer.droppedPackets(), 0U);
        EXPECT_EQ(r.units.size(), 2U);
    }
    {
        // A field length above 183 drops the packet.
        Recorder r;
        r.announce();
        Bytes broken = packet(videoPid, 0, test::pes(filled(175, 1), true), {.start = true});
        broken[3] |= 0x20;
        broken[4] = 184;
        r.feed(broken);
        EXPECT_TRUE(r.units.empty());
        r.feed(packet(videoPid, 5, test::pes(filled(175, 1), true), {.start = true}));
        EXPECT_EQ(r.demuxer.droppedPackets(), 0U) << "the dropped packet set no counter";
    }
    {
        // The discontinuity indicator forgets the counter and resets video.
        Recorder r;
        r.announce();
        r.feed(packet(videoPid, 3, test::pes(filled(170, 1)), {.start = true}));
        r.feed(packet(videoPid, 11, test::pes(filled(170, 2), true),
                      {.start = true, .adaptation = true, .adaptationBody = {0x80}}, true));
        EXPECT_EQ(r.demuxer.droppedPackets(), 0U);
        EXPECT_EQ(r.discontinuities, 1);
        ASSERT_EQ(r.units.size(), 1U) << "the interrupted PES is dropped, the new one kept";
        EXPECT_EQ(r.units[0], filled(170, 2));
    }
}

TEST(TransportStreamDemuxerTest, WhenAPESIsHandedOn) {
    {
        // Unbounded, last packet an exact fit: only the next start ends it.
        Recorder r;
        r.announce();
        const Bytes data = filled(175 + 184, 9);
        const Bytes first = test::pes(data);
        r.feed(packet(videoPid, 0, Bytes(first.begin(), first.begin() + 184), {.start = true}));
        r.feed(packet(videoPid, 1, Bytes(first.begin() + 184, first.end())));
        EXPECT_TRUE(r.units.empty());
        r.feed(packet(videoPid, 2, test::pes(filled(175, 1)), {.start = true}));
        ASSERT_EQ(r.units.size(), 1U);
        EXPECT_EQ(r.units[0], data);
        r.demuxer.flush();
        ASSERT_EQ(r.units.size(), 2U);
        EXPECT_EQ(r.units[1], filled(175, 1));
        EXPECT_EQ(r.demuxer.earlyCompletions().total(), 0U);
    }
    {
        // Declared length: handed on when complete; bytes beyond it dropped.
        Recorder r;
        r.announce();
        const Bytes data = filled(250, 3);
        const Bytes whole = test::pes(data, true);
        r.feed(packet(videoPid, 0, Bytes(whole.begin(), whole.begin() + 184), {.start = true}));
        EXPECT_TRUE(r.units.empty());
        r.feed(packet(videoPid, 1, Bytes(whole.begin() + 184, whole.end())));
        ASSERT_EQ(r.units.size(), 1U);
        EXPECT_EQ(r.units[0], data);
    }
    {
        // Unbounded, last packet stuffed: handed on at once.
        // 182 leaves room for a field of length 1 whose flags byte is 0.
        for (const std::size_t tail : {1U, 100U, 182U, 183U}) {
            Recorder r;
            r.announce();
            const Bytes data = filled(175 + tail, 4);
            const Bytes whole = test::pes(data);
            r.feed(packet(videoPid, 0, Bytes(whole.begin(), whole.begin() + 184), {.start = true}));
            r.feed(packet(videoPid, 1, Bytes(whole.begin() + 184, whole.end()), {}, true));
            ASSERT_EQ(r.units.size(), 1U) << tail;
            EXPECT_EQ(r.units[0], data) << tail;
            EXPECT_EQ(r.demuxer.earlyCompletions().total(), 1U);
            r.feed(packet(videoPid, 2, test::pes(filled(175, 1)), {.start = true}));
            EXPECT_EQ(r.units.size(), 1U) << "the next start hands nothing on twice";
            EXPECT_EQ(r.discontinuities, 0);
        }
    }
    {
        // A PCR alone is no stuffing; a PCR followed by stuffing is.
        const Bytes pcr = {0x10, 1, 2, 3, 4, 5, 6};
        Recorder r;
        r.announce();
        const Bytes data = filled(175 + 176, 5);
        const Bytes whole = test::pes(data);
        r.feed(packet(videoPid, 0, Bytes(whole.begin(), whole.begin() + 184), {.start = true}));
        r.feed(packet(videoPid, 1, Bytes(whole.begin() + 184, whole.end()),
                      {.adaptation = true, .adaptationBody = pcr}));
        EXPECT_TRUE(r.units.empty());
        r.feed(packet(videoPid, 2, test::pes(filled(160, 1)),
                      {.start = true, .adaptation = true, .adaptationBody = pcr}, true));
        ASSERT_EQ(r.units.size(), 2U);
        EXPECT_EQ(r.units[0], data);
        EXPECT_EQ(r.units[1], filled(160, 1));
    }
    {
        // Payload after an early finish: the unit was cut short.
        Recorder r;
        r.announce();
        r.feed(packet(videoPid, 0, test::pes(filled(100, 6)), {.start = true}, true));
        ASSERT_EQ(r.units.size(), 1U);
        r.feed(packet(videoPid, 1, filled(184, 7)));
        EXPECT_EQ(r.discontinuities, 1);
        EXPECT_EQ(r.demuxer.earlyCompletions().incomplete, 1U);
        r.feed(packet(videoPid, 2, filled(184, 8)));
        EXPECT_EQ(r.discontinuities, 1) << "reported once";
        EXPECT_EQ(r.units.size(), 1U);
    }
}

TEST(TransportStreamDemuxerTest, AShortDatagramEndsThePictureItsLastPacketContinues) {
    // Datagrams as letters: S a packet starting an unbounded PES, C one
    // continuing it (both exact fits), T a table packet.
    struct Case {
        const char* name;
        std::vector<std::string> datagrams;
        std::size_t units;
        std::uint64_t atDatagramEnd;
        int discontinuities;
    };
    const std::vector<Case> cases = {
        {"after full datagrams", {"SCCCCCC", "CC", "ST"}, 1, 1, 0},
        {"a picture within one short datagram", {"SCCCCCC", "SCC"}, 2, 1, 0},
        {"not before a full datagram", {"SCC", "CC"}, 0, 0, 0},
        {"not when another packet ends it", {"SCCCCCC", "CT"}, 0, 0, 0},
        {"payload after it: cut short, reported and never trusted again",
         {"SCCCCCC", "C", "C", "SCCCCCC", "C"},
         1,
         1,
         1},
    };
    for (const Case& c : cases) {
        Recorder r;
        r.announce();
        int videoCounter = 0;
        int tableCounter = 1;
        for (const std::string& letters : c.datagrams) {
            Bytes datagram;
            for (const char letter : letters) {
                const Bytes p =
                    letter == 'T'
                        ? packet(0, tableCounter++, test::psiPayload(test::pat({{1, pmtPid}})),
                                 {.start = true})
                        : packet(videoPid, videoCounter++,
                                 letter == 'S' ? test::pes(filled(175, 1)) : filled(184, 2),
                                 {.start = letter == 'S'});
                datagram.insert(datagram.end(), p.begin(), p.end());
            }
            r.feed(datagram);
        }
        EXPECT_EQ(r.units.size(), c.units) << c.name;
        EXPECT_EQ(r.demuxer.earlyCompletions().datagramEnd, c.atDatagramEnd) << c.name;
        EXPECT_EQ(r.discontinuities, c.discontinuities) << c.name;
    }
}

TEST(TransportStreamDemuxerTest, MalformedPESPacketsAreDropped) {
    struct Case {
        const char* name;
        Bytes payload;
        int discontinuities;
    };
    Bytes noMarker = test::pes(filled(175, 1));
    noMarker[6] = 0x40;
    Bytes headerToEnd = test::pes(filled(175, 1));
    headerToEnd[8] = 175;
    const std::vector<Case> cases = {
        {"no start code", filled(184, 1), 1},
        {"no optional header marker", noMarker, 0},
        {"no data after the header", headerToEnd, 0},
    };
    for (const Case& c : cases) {
        Recorder r;
        r.announce();
        r.feed(packet(videoPid, 0, c.payload, {.start = true}));
        r.demuxer.flush();
        EXPECT_TRUE(r.units.empty()) << c.name;
        EXPECT_EQ(r.discontinuities, c.discontinuities) << c.name;
        EXPECT_EQ(r.demuxer.collectedPESBytes(), 0U) << c.name;
    }
}

TEST(TransportStreamDemuxerTest, APESThatNeverEndsIsCappedAt8MiB) {
    Recorder r;
    r.announce();
    r.feed(packet(videoPid, 0, test::pes(filled(175, 1)), {.start = true}));
    std::size_t largest = 0;
    for (int i = 1; i < 50000 && r.discontinuities == 0; ++i) {
        r.feed(packet(videoPid, i, filled(184, 2)));
        largest = std::max(largest, r.demuxer.collectedPESBytes());
    }
    EXPECT_EQ(r.discontinuities, 1);
    EXPECT_LE(largest, TransportStreamDemuxer::maximumPESSize + 184);
    EXPECT_GT(largest, TransportStreamDemuxer::maximumPESSize - 184);
    EXPECT_EQ(r.demuxer.collectedPESBytes(), 0U);
    EXPECT_TRUE(r.units.empty());
}

TEST(TransportStreamDemuxerTest, ProgramTables) {
    struct Case {
        const char* name;
        std::vector<test::Program> programs;
        std::vector<test::Stream> streams;
        std::optional<int> pmt;
        std::optional<int> video;
    };
    const std::vector<Case> cases = {
        {"first H.264 stream after another",
         {{1, pmtPid}},
         {{0x0F, 0x101}, {0x1B, 0x102}},
         pmtPid,
         0x102},
        {"skips descriptors",
         {{1, pmtPid}},
         {{0x0F, 0x101, {5, 4, 1, 2, 3, 4}}, {0x1B, 0x103}},
         pmtPid,
         0x103},
        {"no H.264 stream", {{1, pmtPid}}, {{0x24, 0x101}}, pmtPid, std::nullopt},
        {"network PID skipped", {{0, 0x10}, {1, 0x1001}}, {{0x1B, 0x104}}, 0x1001, 0x104},
    };
    for (const Case& c : cases) {
        Recorder r;
        r.feed(packet(0, 0, test::psiPayload(test::pat(c.programs)), {.start = true}));
        EXPECT_EQ(r.demuxer.pmtPID(), c.pmt) << c.name;
        r.feed(packet(*c.pmt, 0, test::psiPayload(test::pmt(c.streams)), {.start = true}));
        EXPECT_EQ(r.demuxer.videoPID(), c.video) << c.name;
    }
}

TEST(TransportStreamDemuxerTest, ARepeatedPMTChangesNothingANewVideoPIDResets) {
    Recorder r;
    r.announce();
    r.feed(packet(videoPid, 0, test::pes(filled(175, 1)), {.start = true}));
    r.feed(packet(pmtPid, 1, test::psiPayload(test::pmt({{0x1B, videoPid}})), {.start = true}));
    EXPECT_EQ(r.discontinuities, 0);
    EXPECT_EQ(r.demuxer.collectedPESBytes(), 184U);
    r.feed(packet(pmtPid, 2, test::psiPayload(test::pmt({{0x1B, 0x200}})), {.start = true}));
    EXPECT_EQ(r.discontinuities, 1);
    EXPECT_EQ(r.demuxer.videoPID(), 0x200);
    EXPECT_EQ(r.demuxer.collectedPESBytes(), 0U);
    r.feed(packet(pmtPid, 3, test::psiPayload(test::pmt({{0x1B, 0x200}})), {.start = true}));
    EXPECT_EQ(r.discontinuities, 1);
}

TEST(TransportStreamDemuxerTest, SectionAssembly) {
    {
        // A bad CRC, or a section that is not current, is skipped; the next
        // section in the same payload still counts.
        for (const bool badCrc : {true, false}) {
            Recorder r;
            Bytes first =
                badCrc ? test::pat({{1, 0x1100}}) : test::section(0x00, 1, {0, 1, 0xF1, 0}, false);
            if (badCrc) {
                first.back() ^= 0x55;
            }
            r.feed(packet(0, 0, test::psiPayload(concat({first, test::pat({{1, 0x1200}})})),
                          {.start = true}));
            EXPECT_EQ(r.demuxer.pmtPID(), 0x1200);
        }
    }
    {
        // A section split over two packets.
        Recorder r;
        r.feed(packet(0, 0, test::psiPayload(test::pat({{1, pmtPid}})), {.start = true}));
        Bytes info(170, 0x05);
        const Bytes table = test::pmt({{0x0F, 0x101, info}, {0x1B, 0x105}});
        const Bytes payload = test::psiPayload(table);
        ASSERT_GT(payload.size(), 184U);
        r.feed(packet(pmtPid, 0, Bytes(payload.begin(), payload.begin() + 184), {.start = true}));
        EXPECT_EQ(r.demuxer.videoPID(), std::nullopt);
        r.feed(packet(pmtPid, 1, Bytes(payload.begin() + 184, payload.end())));
        EXPECT_EQ(r.demuxer.videoPID(), 0x105);
    }
}

TEST(TransportStreamDemuxerTest, PointerFieldCompletesThePreviousSection) {
    Recorder r;
    r.feed(packet(0, 0, test::psiPayload(test::pat({{1, pmtPid}})), {.start = true}));
    // A PMT long enough to need two packets, and a second PMT (new video PID)
    // starting right after its end, behind pointer_field 3.
    const Bytes first = test::pmt({{0x0F, 0x101, Bytes(170, 0x05)}, {0x1B, 0x107}});
    const Bytes second = test::pmt({{0x1B, 0x108}});
    ASSERT_EQ(first.size(), 196U);
    Bytes opening = {0x00};
    opening.insert(opening.end(), first.begin(), first.begin() + 183);
    r.feed(packet(pmtPid, 0, opening, {.start = true}));
    // All but the last three bytes; adaptation stuffing fills the packet.
    r.feed(packet(pmtPid, 1, Bytes(first.begin() + 183, first.end() - 3), {}, true));
    EXPECT_EQ(r.demuxer.videoPID(), std::nullopt);
    Bytes closing = {0x03};
    closing.insert(closing.end(), first.end() - 3, first.end());
    closing.insert(closing.end(), second.begin(), second.end());
    r.feed(packet(pmtPid, 2, closing, {.start = true}));
    EXPECT_EQ(r.demuxer.videoPID(), 0x108);
    EXPECT_EQ(r.discontinuities, 2) << "both sections were read: 0x107, then 0x108";
}

// ---- Real streams from ffmpeg with the headset's settings ----

struct RealStream {
    std::string name;
    std::vector<Bytes> datagrams; // as ffmpeg's UDP output cut them
    Bytes stream = {};
    std::vector<Bytes> reference = {}; // libavformat's reading
};

// Made once for all tests of this file.
const std::vector<RealStream>& realStreams() {
    static const std::vector<RealStream> made = [] {
        std::vector<RealStream> streams;
        for (const auto& [width, height] : {std::pair{320, 240}, {1280, 720}, {1920, 1080}}) {
            RealStream s{std::to_string(width) + "x" + std::to_string(height),
                         test::sendHeadsetStream(width, height, 3.0)};
            s.stream = concat(s.datagrams);
            s.reference = test::referenceAccessUnits(s.stream);
            streams.push_back(std::move(s));
        }
        return streams;
    }();
    return made;
}

class RealStreamTest : public ::testing::Test {
protected:
    const Bytes* stream_ = &realStreams().front().stream;
};

TEST_F(RealStreamTest, EveryAccessUnitArrivesWholeAndOnceInTheSendersOrAnyDatagrams) {
    for (const RealStream& s : realStreams()) {
        ASSERT_GE(s.reference.size(), 50U);
        // 0: the sender's own datagrams; else random sizes up to that many
        // bytes, where only padding can end a picture before the next starts.
        for (const std::size_t largest : {0U, 200U, 4000U}) {
            const std::string shape = s.name + ", datagrams " + std::to_string(largest);
            std::mt19937 random(static_cast<std::uint32_t>(largest));
            std::uniform_int_distribution<std::size_t> sizes(1, std::max<std::size_t>(largest, 1));
            Recorder r;
            for (std::size_t i = 0, offset = 0; offset < s.stream.size(); ++i) {
                const Bytes datagram =
                    largest == 0
                        ? s.datagrams[i]
                        : Bytes(s.stream.begin() + static_cast<std::ptrdiff_t>(offset),
                                s.stream.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                       offset + sizes(random), s.stream.size())));
                r.feed(datagram);
                ASSERT_LT(r.demuxer.pendingBytes(), 188U);
                offset += datagram.size();
            }
            r.demuxer.flush();
            const std::size_t waiting = r.units.size() - r.demuxer.earlyCompletions().total();
            ASSERT_EQ(r.units.size(), s.reference.size()) << shape;
            for (std::size_t i = 0; i < r.units.size(); ++i) {
                ASSERT_EQ(r.units[i], s.reference[i]) << "unit " << i << ", " << shape;
            }
            EXPECT_EQ(r.demuxer.droppedPackets(), 0U) << shape;
            EXPECT_EQ(r.discontinuities, 1) << "only the first PMT, " << shape;
            EXPECT_EQ(r.demuxer.earlyCompletions().incomplete, 0U) << shape;
            // Nearly every unit goes out at its last packet, not a frame later.
            EXPECT_LE(waiting * (largest == 0 ? 50 : 20), r.units.size()) << shape;
        }
    }
}

TEST_F(RealStreamTest, HostileBytesStayBounded) {
    std::mt19937 random(7);
    auto check = [](const TransportStreamDemuxer& demuxer) {
        ASSERT_LT(demuxer.pendingBytes(), 188U);
        ASSERT_LE(demuxer.sectionBytes(), 3 * (1024 + 184U));
        ASSERT_LE(demuxer.collectedPESBytes(), TransportStreamDemuxer::maximumPESSize + 184);
    };
    {
        // Pure noise, and noise with sync bytes where packets would start.
        Recorder r;
        std::uniform_int_distribution<int> byte(0, 255);
        for (int round = 0; round < 400; ++round) {
            Bytes noise(1316);
            for (std::size_t i = 0; i < noise.size(); ++i) {
                noise[i] = (round % 2 == 0 && i % 188 == 0)
                               ? 0x47
                               : static_cast<std::uint8_t>(byte(random));
            }
            r.feed(noise);
            check(r.demuxer);
        }
    }
    {
        // A PAT moving the PMT, each time after a PMT's first packet.
        Recorder r;
        const Bytes longPMT = test::psiPayload(test::pmt({{0x0F, 0x101, Bytes(900, 5)}}));
        for (int move = 0; move < 200; ++move) {
            const int pid = 0x20 + move;
            r.feed(packet(0, move, test::psiPayload(test::pat({{1, pid}})), {.start = true}));
            r.feed(packet(pid, 0, Bytes(longPMT.begin(), longPMT.begin() + 184), {.start = true}));
            check(r.demuxer);
        }
    }
    {
        // The real stream with bytes flipped, datagrams lost and repeated.
        for (int variant = 0; variant < 6; ++variant) {
            Recorder r;
            std::uniform_int_distribution<int> percent(0, 99);
            std::uniform_int_distribution<std::size_t> position(0, 1315);
            for (std::size_t offset = 0; offset + 1316 <= stream_->size(); offset += 1316) {
                Bytes datagram(stream_->begin() + static_cast<std::ptrdiff_t>(offset),
                               stream_->begin() + static_cast<std::ptrdiff_t>(offset + 1316));
                const int roll = percent(random);
                if (roll < 5) {
                    continue; // lost
                }
                for (int flips = 0; flips < variant * 2; ++flips) {
                    datagram[position(random)] = static_cast<std::uint8_t>(random());
                }
                r.feed(datagram);
                if (roll > 95) {
                    r.feed(datagram); // repeated
                }
                check(r.demuxer);
            }
            EXPECT_GT(r.demuxer.droppedPackets(), 0U);
            EXPECT_GT(r.discontinuities, 1);
        }
    }
}

} // namespace
} // namespace vistrel
