// Turns received MPEG transport stream bytes into H.264 access units: finds
// the packets, follows PAT and PMT to the first H.264 stream, reassembles its
// PES packets and hands each PES payload on. A new video PID, or a PES that
// is malformed or grows past the cap, drops what was being collected and is
// reported as a discontinuity so that decoding waits for the next keyframe.
// Lost, errored or flagged packets do the same under the `Hold` loss policy;
// under `KeepMoving` the access unit goes on as the bytes that arrived,
// marked damaged, and so does the rest of a PES whose start was lost: its
// later slices decode (bytes before its first start code are no NAL unit),
// and without it the frame numbers would have a gap, which libavcodec
// answers by holding back the following pictures.
//
// The sender's muxer writes video PES packets of unbounded length, so the
// next PES start would end each one only a frame interval later. Two signals
// end it sooner. The muxer pads only the last transport packet of a PES, with
// an adaptation field, so a padded packet ends its PES. And the sender flushes
// each picture into full-size datagrams (seven packets) followed by a shorter
// one, so a short datagram whose last packet continues the PES ends it too;
// this second signal is used only once the sender has shown full-size
// datagrams, and given up should it ever prove wrong. Should payload still
// follow such an early finish, the access unit handed on was incomplete and a
// discontinuity is reported.
#pragma once

#include "receive/LossPolicy.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace vistrel {

class TransportStreamDemuxer {
public:
    // `damaged`: packets of it were lost, errored or flagged on the way.
    using AccessUnitCallback = std::function<void(std::span<const std::uint8_t>, bool damaged)>;
    using DiscontinuityCallback = std::function<void()>;

    static constexpr std::size_t packetSize = 188;
    static constexpr std::size_t maximumPESSize = std::size_t{8} * 1024 * 1024;
    static constexpr std::size_t datagramSize = 7 * packetSize;

    // Unbounded PES packets handed on before the next one started, by the
    // signal that ended them, and how many of them payload then proved
    // incomplete.
    struct EarlyCompletions {
        std::uint64_t stuffing = 0;    // stuffing bytes after the adaptation fields
        std::uint64_t emptyField = 0;  // a one-byte adaptation field without flags
        std::uint64_t datagramEnd = 0; // the last packet of a short datagram
        std::uint64_t incomplete = 0;
        [[nodiscard]] std::uint64_t total() const noexcept {
            return stuffing + emptyField + datagramEnd;
        }
    };

    // The view passed to onAccessUnit is valid only during the call.
    void setOnAccessUnit(AccessUnitCallback callback) { onAccessUnit_ = std::move(callback); }
    void setOnDiscontinuity(DiscontinuityCallback callback) {
        onDiscontinuity_ = std::move(callback);
    }

    // Read at every loss, so it may change (from any thread) mid-stream.
    void setLossPolicy(LossPolicy policy) noexcept {
        lossPolicy_.store(policy, std::memory_order_relaxed);
    }

    // The only input: the bytes of one whole datagram, in arrival order. The
    // datagram's end is a signal of its own (see above), so a caller must not
    // split or join datagrams.
    void append(std::span<const std::uint8_t> bytes);

    // Hands on the PES being collected now, if it is well formed.
    void flush() { finishPES(); }

    // Continuity gaps seen on any PID since construction.
    [[nodiscard]] std::uint64_t droppedPackets() const noexcept { return droppedPackets_; }

    [[nodiscard]] const EarlyCompletions& earlyCompletions() const noexcept {
        return earlyCompletions_;
    }

    // PES packets begun on the video PID since construction.
    [[nodiscard]] std::uint64_t pesStarts() const noexcept { return pesStarts_; }

    [[nodiscard]] std::optional<int> videoPID() const noexcept { return videoPID_; }

    // Bytes held back for the next datagram (always fewer than one packet)
    // and in PSI section buffers; for checking that hostile input stays
    // bounded.
    [[nodiscard]] std::size_t pendingBytes() const noexcept { return pending_.size(); }
    [[nodiscard]] std::size_t sectionBytes() const noexcept;
    [[nodiscard]] std::size_t collectedPESBytes() const noexcept { return pesSize_; }

    // CRC-32/MPEG-2: 0 over a whole, intact PSI section including its CRC.
    static std::uint32_t crc(std::span<const std::uint8_t> bytes) noexcept;

private:
    enum class EndSignal : std::uint8_t { None, Stuffing, EmptyField, DatagramEnd };
    enum class DatagramEnds : std::uint8_t { Unproven, Trusted, Distrusted };

    void consume(const std::uint8_t* packet);
    // `adaptationField` points at the packet's adaptation field length byte,
    // or is null when the packet has none.
    void consumeVideo(std::span<const std::uint8_t> payload, bool start,
                      const std::uint8_t* adaptationField);
    void consumePSI(std::span<const std::uint8_t> payload, int pid, bool start);
    void parseSections(int pid);
    void parsePAT(std::span<const std::uint8_t> section);
    void parsePMT(std::span<const std::uint8_t> section);
    bool finishPES(); // true when an access unit was handed on
    void finishEarly(EndSignal signal);
    void resetVideo();
    void videoLost();
    void appendToPES(std::span<const std::uint8_t> payload);

    AccessUnitCallback onAccessUnit_;
    DiscontinuityCallback onDiscontinuity_;
    std::vector<std::uint8_t> pending_;
    std::optional<int> pmtPID_;
    std::optional<int> videoPID_;
    std::map<int, std::vector<std::uint8_t>> sections_;
    // Last accepted continuity counter per PID; -1 when none is known.
    std::array<std::int8_t, 8192> continuity_ = [] {
        std::array<std::int8_t, 8192> none{};
        none.fill(-1);
        return none;
    }();
    // The video PES being collected: the first pesSize_ bytes of pes_.
    std::vector<std::uint8_t> pes_ = std::vector<std::uint8_t>(std::size_t{64} * 1024);
    std::size_t pesSize_ = 0;
    bool collecting_ = false;
    // Packets of the PES being collected were lost (KeepMoving only).
    bool damaged_ = false;
    // Packets were lost while no PES was being collected: payload before the
    // next start is the rest of one whose start was lost (KeepMoving only).
    bool orphaned_ = false;
    // A reset drops everything up to the next PES start, orphans included.
    bool awaitingStart_ = true;
    std::atomic<LossPolicy> lossPolicy_{LossPolicy::Hold};
    // Total PES size once its first six bytes are known; 0 for unbounded.
    std::optional<std::size_t> expectedPESLength_;
    // Why the last PES went out early, if it did; payload before the next
    // start proves it was cut short.
    EndSignal earlyEnd_ = EndSignal::None;
    // The last packet consumed added payload to the PES still being collected.
    bool packetContinuedPES_ = false;
    DatagramEnds datagramEnds_ = DatagramEnds::Unproven;
    std::uint64_t droppedPackets_ = 0;
    std::uint64_t pesStarts_ = 0;
    EarlyCompletions earlyCompletions_;
};

} // namespace vistrel
