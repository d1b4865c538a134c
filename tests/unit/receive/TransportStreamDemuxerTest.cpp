#include "receive/TransportStreamDemuxer.h"

#include "HeadsetStream.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

namespace vistrel {
namespace {

using test::Bytes;

constexpr int pmtPid = 0x1000;

// One packet; a payload shorter than 184 bytes is padded with adaptation-field
// stuffing, as the sender's muxer pads the last packet of a picture.
Bytes packet(int pid, int counter, const Bytes& payload, bool start, bool error = false) {
    Bytes p{0x47, static_cast<std::uint8_t>((error ? 0x80 : 0) | (start ? 0x40 : 0) | (pid >> 8)),
            static_cast<std::uint8_t>(pid), static_cast<std::uint8_t>(0x10 | (counter & 15))};
    if (payload.size() < 184) {
        p[3] |= 0x20;
        p.push_back(static_cast<std::uint8_t>(183 - payload.size()));
        p.resize(188 - payload.size(), 0xFF);
        if (p[4] > 0) {
            p[5] = 0; // the flags byte
        }
    }
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

// A PAT naming the PMT's PID (type 0) or a PMT naming the video PID (type 2),
// behind pointer_field 0, padded with 0xFF as muxers do.
Bytes table(int type, int pid = pmtPid, bool badCrc = false) {
    const auto high = static_cast<std::uint8_t>(0xE0 | pid >> 8);
    const auto low = static_cast<std::uint8_t>(pid);
    Bytes s{static_cast<std::uint8_t>(type), 0xB0, 0, 0, 1, 0xC1, 0, 0};
    const Bytes body =
        type == 0 ? Bytes{0, 1, high, low} : Bytes{0xE1, 0, 0xF0, 0, 0x1B, high, low, 0xF0, 0};
    s.insert(s.end(), body.begin(), body.end());
    s[2] = static_cast<std::uint8_t>(s.size() + 1); // from after the length to the CRC's end
    const std::uint32_t crc = TransportStreamDemuxer::crc(s) ^ (badCrc ? 1 : 0);
    for (const int shift : {24, 16, 8, 0}) {
        s.push_back(static_cast<std::uint8_t>(crc >> shift));
    }
    s.insert(s.begin(), 0);
    s.resize(184, 0xFF);
    return s;
}

// The first packet of an unbounded video PES, exactly filled.
Bytes pesStart() {
    Bytes p{0, 0, 1, 0xE0, 0, 0, 0x80, 0, 0};
    p.resize(184, 1);
    return p;
}

struct Recorder {
    TransportStreamDemuxer demuxer;
    std::vector<Bytes> units;
    int discontinuities = 0;
    std::vector<std::size_t> damaged; // indices into units
    explicit Recorder(LossPolicy policy = LossPolicy::Hold) {
        demuxer.setLossPolicy(policy);
        demuxer.setOnAccessUnit([this](auto unit, bool isDamaged) {
            if (isDamaged) {
                damaged.push_back(units.size());
            }
            units.emplace_back(unit.begin(), unit.end());
        });
        demuxer.setOnDiscontinuity([this] { ++discontinuities; });
    }
    // Tables naming video PID 0x100, with counter 0; what they report is forgotten.
    void announce() {
        demuxer.append(packet(0, 0, table(0), true));
        demuxer.append(packet(pmtPid, 0, table(2, 0x100), true));
        discontinuities = 0;
    }
};

// Video packets as letters, datagrams separated by spaces: S starts an
// unbounded PES (exactly filling its packet), C continues it, F ends it with
// a stuffed packet, E continues it with the transport error bit, X after a
// lost packet, R repeats the last packet; T is a PAT, P the same PMT again, N
// a PMT moving the video to another PID, B such a PMT with a bad CRC. Under
// keepMoving a loss marks the unit being collected damaged instead.
TEST(TransportStreamDemuxerTest, PacketSequences) {
    constexpr LossPolicy keep = LossPolicy::KeepMoving;
    const struct {
        const char* letters;
        std::size_t units;
        int discontinuities;
        std::uint64_t lost;
        std::uint64_t early; // handed on before the next start
        std::size_t damaged = 0;
        LossPolicy policy = LossPolicy::Hold;
        std::size_t bytes = 0; // of the first damaged unit (else the first); 0: not checked
    } cases[] = {
        {"SCCSC", 1, 0, 0, 0},
        {"SCF", 1, 0, 0, 1},
        {"SFCC", 1, 1, 0, 1}, // cut short: reported once
        {"SCXSF", 1, 1, 1, 1},
        {"SCESF", 1, 1, 0, 1},
        {"SCRF", 1, 0, 0, 1},
        {"SCPF", 1, 0, 0, 1},
        {"SCNSF", 1, 1, 0, 1}, // only the new PID's PES
        {"SCBF", 1, 0, 0, 1},
        // A short datagram ends the picture its last packet continues, once
        // the sender has shown full datagrams; payload after it disproves it.
        {"SCCCCCC CC ST", 1, 0, 0, 1},
        {"SCC CC", 0, 0, 0, 0},
        {"SCCCCCC CT", 0, 0, 0, 0},
        {"SCCCCCC C C SCCCCCC C", 1, 1, 0, 1},
        {"SCXCF", 1, 0, 1, 1, 1, keep, 175 + 3 * 184 + 100},
        {"SCESF", 2, 0, 0, 1, 1, keep},
        {"SCXCXSF", 2, 0, 2, 1, 1, keep},         // handed on once
        {"SFXCSF", 3, 0, 1, 2, 1, keep, 2 * 184}, // the rest of a picture whose start was lost
        {"SFXCSF", 2, 1, 1, 2},
        {"SCXNSF", 1, 1, 1, 1, 0, keep}, // a new PID still drops what was collected
    };
    for (const auto& c : cases) {
        Recorder r(c.policy);
        r.announce();
        int videoPid = 0x100;
        int counters[3] = {1, 1, 0}; // PAT, PMT, video
        const auto psi = [&](int index, const Bytes& payload) {
            return packet(index == 0 ? 0 : pmtPid, counters[index]++, payload, true);
        };
        std::istringstream datagrams(c.letters);
        Bytes last;
        for (std::string letters; datagrams >> letters;) {
            Bytes datagram;
            for (const char letter : letters) {
                counters[2] += letter == 'X' ? 1 : 0;
                last = letter == 'R'   ? last
                       : letter == 'T' ? psi(0, table(0))
                       : letter == 'P' ? psi(1, table(2, videoPid))
                       : letter == 'B' ? psi(1, table(2, 0x300, true))
                       : letter == 'N'
                           ? psi(1, table(2, videoPid = 0x200))
                           : packet(videoPid, letter == 'E' ? counters[2] : counters[2]++,
                                    letter == 'S'   ? pesStart()
                                    : letter == 'F' ? Bytes(100, 2)
                                                    : Bytes(184, 1),
                                    letter == 'S', letter == 'E');
                datagram.insert(datagram.end(), last.begin(), last.end());
            }
            r.demuxer.append(datagram);
        }
        EXPECT_EQ(std::tuple(r.units.size(), r.discontinuities, r.demuxer.droppedPackets(),
                             r.demuxer.earlyCompletions().total(), r.damaged.size()),
                  std::tuple(c.units, c.discontinuities, c.lost, c.early, c.damaged))
            << c.letters;
        if (c.bytes != 0) {
            EXPECT_EQ(r.units.at(r.damaged.empty() ? 0 : r.damaged[0]).size(), c.bytes)
                << c.letters;
        }
    }
}

// Every access unit of real ffmpeg streams, whole, once and in order, as
// libavformat reads them: in the sender's datagrams and in random pieces.
TEST(TransportStreamDemuxerTest, RealStreamsInAnyDatagrams) {
    for (const char* name : {"320x240", "1280x720"}) {
        const test::TestStream& s = test::testStream(name);
        ASSERT_GE(s.units.size(), 50U);
        for (const std::size_t largest : {0U, 200U, 4000U}) { // 0: the sender's datagrams
            SCOPED_TRACE(std::string(name) + ", pieces up to " + std::to_string(largest));
            std::mt19937 random(static_cast<std::uint32_t>(largest));
            std::uniform_int_distribution<std::size_t> sizes(1, std::max<std::size_t>(largest, 1));
            // Without loss the policy makes no difference.
            Recorder r(largest == 200 ? LossPolicy::KeepMoving : LossPolicy::Hold);
            for (std::size_t i = 0, at = 0; at < s.bytes.size(); ++i) {
                const std::size_t size = largest == 0
                                             ? s.datagrams[i].size()
                                             : std::min(sizes(random), s.bytes.size() - at);
                r.demuxer.append(std::span(s.bytes).subspan(at, size));
                ASSERT_LT(r.demuxer.pendingBytes(), 188U);
                at += size;
            }
            r.demuxer.flush();
            ASSERT_EQ(r.units, s.units);
            EXPECT_TRUE(r.damaged.empty());
            EXPECT_EQ(r.discontinuities, 1) << "only the first PMT, no loss";
            // Nearly every unit goes out at its last packet, not a picture later.
            const std::size_t waited = r.units.size() - r.demuxer.earlyCompletions().total();
            EXPECT_LE(waited * (largest == 0 ? 50 : 20), r.units.size());
        }
    }
}

// Noise with sync bytes where packets would start in every other datagram,
// the real stream with bytes flipped, datagrams lost and repeated, a PES that
// never ends, dropped at 8 MiB, and PATs that each move the PMT, whose
// section never completes.
TEST(TransportStreamDemuxerTest, StaysBoundedOnHostileBytes) {
    const auto check = [](const TransportStreamDemuxer& d) {
        ASSERT_LT(d.pendingBytes(), 188U);
        ASSERT_LE(d.sectionBytes(), 2 * 1024U);
        ASSERT_LE(d.collectedPESBytes(), TransportStreamDemuxer::maximumPESSize + 184);
    };
    for (const LossPolicy policy : {LossPolicy::Hold, LossPolicy::KeepMoving}) {
        SCOPED_TRACE(LossPolicies::name(policy));
        std::mt19937 random(7);
        Recorder r(policy);
        for (int round = 0; round < 400; ++round) {
            Bytes noise(1316);
            for (std::size_t i = 0; i < noise.size(); ++i) {
                noise[i] =
                    round % 2 == 0 && i % 188 == 0 ? 0x47 : static_cast<std::uint8_t>(random());
            }
            r.demuxer.append(noise);
            ASSERT_NO_FATAL_FAILURE(check(r.demuxer));
        }
        for (int flips = 0; flips < 12; flips += 2) {
            for (Bytes datagram : test::testStream("320x240").datagrams) {
                const auto roll = random() % 100;
                for (int i = 0; i < flips; ++i) {
                    datagram[random() % datagram.size()] = static_cast<std::uint8_t>(random());
                }
                for (std::size_t times = roll < 5 ? 0 : roll > 95 ? 2 : 1; times > 0; --times) {
                    r.demuxer.append(datagram);
                }
                ASSERT_NO_FATAL_FAILURE(check(r.demuxer));
            }
        }
        EXPECT_GT(r.demuxer.droppedPackets(), 0U);
        EXPECT_GT(policy == LossPolicy::Hold ? std::size_t(r.discontinuities) : r.damaged.size(),
                  1U);
        Recorder endless(policy);
        endless.announce();
        endless.demuxer.append(packet(0x100, 0, pesStart(), true));
        for (int i = 1; i < 50000 && endless.discontinuities == 0; ++i) {
            endless.demuxer.append(packet(0x100, i, Bytes(184, 2), false));
            ASSERT_NO_FATAL_FAILURE(check(endless.demuxer));
        }
        EXPECT_EQ(endless.discontinuities, 1);
        EXPECT_EQ(endless.demuxer.collectedPESBytes(), 0U);
    }
    TransportStreamDemuxer moving;
    Bytes unfinished{0, 2, 0xB3, 0xE8}; // a 1000-byte PMT section
    unfinished.resize(184);
    for (int pid = 0x200; pid < 0x220; ++pid) {
        moving.append(packet(0, pid, table(0, pid), true));
        moving.append(packet(pid, 0, unfinished, true));
        ASSERT_NO_FATAL_FAILURE(check(moving));
    }
}

} // namespace
} // namespace vistrel
