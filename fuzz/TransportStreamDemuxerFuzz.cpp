// The demuxer fed datagrams cut where the input says (a 16-bit big-endian
// length, then that many bytes), under each loss policy: every access unit is
// non-empty, within the cap, begun after the last reset and damaged only when
// the policy keeps the picture moving; the buffers stay bounded.
#include "FuzzSupport.h"
#include "receive/TransportStreamDemuxer.h"

#include <algorithm>

using vistrel::TransportStreamDemuxer;
using vistrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const auto policy : {vistrel::LossPolicy::Hold, vistrel::LossPolicy::KeepMoving}) {
        TransportStreamDemuxer demuxer;
        demuxer.setLossPolicy(policy);
        std::uint64_t startsAtReset = 0;
        demuxer.setOnDiscontinuity([&] {
            require(demuxer.collectedPESBytes() == 0, "a reset kept what was collected");
            startsAtReset = demuxer.pesStarts();
        });
        demuxer.setOnAccessUnit([&](std::span<const std::uint8_t> unit, bool damaged) {
            require(!damaged || policy == vistrel::LossPolicy::KeepMoving, "damaged while holding");
            require(!unit.empty() && unit.size() <= TransportStreamDemuxer::maximumPESSize +
                                                        TransportStreamDemuxer::packetSize,
                    "an access unit empty or above the cap");
            require(demuxer.pesStarts() > startsAtReset, "handed on without a start after a reset");
        });
        for (std::size_t at = 0, length = 0; at + 2 <= size; at += 2 + length) {
            length = std::min<std::size_t>(data[at] << 8 | data[at + 1], size - at - 2);
            demuxer.append({data + at + 2, length});
            require(demuxer.pendingBytes() < TransportStreamDemuxer::packetSize, "pending grows");
            // One partial section each for the PAT and the current PMT.
            require(demuxer.sectionBytes() <= std::size_t{2} * 1024, "section buffers grow");
        }
        demuxer.flush();
    }
    return 0;
}
