// The demuxer fed datagrams cut where the input says, under each loss policy.
// Every access unit it hands on is non-empty and at most 8 MiB plus one
// packet, was begun after the last reset, is marked damaged only when the
// policy keeps the picture moving, and its buffers stay bounded whatever
// arrives.
#include "FuzzSupport.h"
#include "receive/TransportStreamDemuxer.h"

using vistrel::TransportStreamDemuxer;
using vistrel::fuzz::require;

namespace {

void run(const std::uint8_t* data, std::size_t size, vistrel::LossPolicy policy) {
    TransportStreamDemuxer demuxer;
    demuxer.setLossPolicy(policy);
    std::uint64_t startsAtReset = 0;
    demuxer.setOnDiscontinuity([&] {
        require(demuxer.collectedPESBytes() == 0, "a reset kept what was collected");
        startsAtReset = demuxer.pesStarts();
    });
    demuxer.setOnAccessUnit([&](std::span<const std::uint8_t> unit, bool damaged) {
        require(!damaged || policy == vistrel::LossPolicy::KeepMoving, "damaged while holding");
        require(!unit.empty(), "an empty access unit");
        require(unit.size() <=
                    TransportStreamDemuxer::maximumPESSize + TransportStreamDemuxer::packetSize,
                "an access unit above the cap");
        require(demuxer.pesStarts() > startsAtReset, "handed on without a start after a reset");
    });
    for (const auto datagram : vistrel::fuzz::records(data, size)) {
        demuxer.append(datagram);
        require(demuxer.pendingBytes() < TransportStreamDemuxer::packetSize, "pending bytes grow");
        // One partial section each for the PAT and the current PMT.
        require(demuxer.sectionBytes() <= std::size_t{2} * 1024, "section buffers grow");
    }
    demuxer.flush();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    run(data, size, vistrel::LossPolicy::Hold);
    run(data, size, vistrel::LossPolicy::KeepMoving);
    return 0;
}
