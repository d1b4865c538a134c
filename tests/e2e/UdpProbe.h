// A plain UDP socket on this computer's end of the simulated link that counts
// what the headset's encoder sends: datagram sizes, senders, and where the
// transport stream's video pictures begin.
#pragma once

#include "support/UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::test {

struct Datagram {
    std::chrono::steady_clock::time_point arrival;
    std::string sender; // dotted IPv4 address
    std::size_t size = 0;
    // Transport-stream packets in it that begin a new payload (a PES packet
    // for video), counted for every packet identifier except the tables'.
    int payloadStarts = 0;
};

class UdpProbe {
public:
    // Binds to `address` on a port the system chooses.
    explicit UdpProbe(const std::string& address);

    [[nodiscard]] std::uint16_t port() const noexcept { return port_; }

    // Receives for `duration`; returns what arrived.
    std::vector<Datagram> receiveFor(std::chrono::milliseconds duration);
    // Receives until `count` datagrams arrived or `timeout` passed.
    std::vector<Datagram> receiveCount(std::size_t count, std::chrono::milliseconds timeout);

private:
    std::vector<Datagram> receive(std::size_t count, std::chrono::milliseconds timeout);

    UniqueFd socket_;
    std::uint16_t port_ = 0;
};

} // namespace vistrel::test
