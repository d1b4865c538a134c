// Turns received MPEG transport stream bytes into H.264 access units: finds
// the packets, follows PAT and PMT to the first H.264 stream, reassembles its
// PES packets and hands each PES payload on. Any interruption of the video
// (lost, errored or malformed packets, a new video PID) drops what was being
// collected and is reported as a discontinuity so that decoding waits for the
// next keyframe.
//
// The sender's muxer writes video PES packets of unbounded length and pads
// only the last transport packet of each with adaptation-field stuffing, so
// an unbounded PES is finished at its stuffed packet instead of one frame
// interval later when the next PES starts. Should payload still follow such
// an early finish, the access unit handed on was incomplete and a
// discontinuity is reported.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace vistrel {

class TransportStreamDemuxer {
public:
    using AccessUnitCallback = std::function<void(std::span<const std::uint8_t>)>;
    using DiscontinuityCallback = std::function<void()>;

    static constexpr std::size_t packetSize = 188;
    static constexpr std::size_t maximumPESSize = std::size_t{8} * 1024 * 1024;

    // The view passed to onAccessUnit is valid only during the call.
    void setOnAccessUnit(AccessUnitCallback callback) { onAccessUnit_ = std::move(callback); }
    void setOnDiscontinuity(DiscontinuityCallback callback) {
        onDiscontinuity_ = std::move(callback);
    }

    // The only input: the bytes of one datagram, in arrival order.
    void append(std::span<const std::uint8_t> bytes);

    // Hands on the PES being collected now, if it is well formed.
    void flush() { finishPES(); }

    // Continuity gaps seen on any PID since construction.
    [[nodiscard]] std::uint64_t droppedPackets() const noexcept { return droppedPackets_; }

    // Unbounded PES packets finished at their stuffed last packet, and those
    // of them that turned out incomplete because payload followed.
    [[nodiscard]] std::uint64_t earlyCompletions() const noexcept { return earlyCompletions_; }
    [[nodiscard]] std::uint64_t incompleteEarlyCompletions() const noexcept {
        return incompleteEarlyCompletions_;
    }

    // PES packets begun on the video PID since construction.
    [[nodiscard]] std::uint64_t pesStarts() const noexcept { return pesStarts_; }

    [[nodiscard]] std::optional<int> pmtPID() const noexcept { return pmtPID_; }
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
    void resetVideo();
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
    // Total PES size once its first six bytes are known; 0 for unbounded.
    std::optional<std::size_t> expectedPESLength_;
    // The last PES went out early; payload before the next start proves it
    // was cut short.
    bool finishedEarly_ = false;
    std::uint64_t droppedPackets_ = 0;
    std::uint64_t pesStarts_ = 0;
    std::uint64_t earlyCompletions_ = 0;
    std::uint64_t incompleteEarlyCompletions_ = 0;
};

} // namespace vistrel
