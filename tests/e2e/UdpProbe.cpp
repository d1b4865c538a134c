#include "UdpProbe.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace vistrel::test {

namespace {

constexpr std::size_t packetSize = 188;

int countPayloadStarts(const std::uint8_t* data, std::size_t size) {
    int starts = 0;
    for (std::size_t offset = 0; offset + packetSize <= size; offset += packetSize) {
        const std::uint8_t* packet = data + offset;
        const unsigned pid = ((packet[1] & 0x1fU) << 8U) | packet[2];
        const bool unitStart = (packet[1] & 0x40U) != 0;
        // Packet identifiers below 0x20 and the program map (0x1000 in
        // FFmpeg's muxer) carry tables, not pictures.
        if (packet[0] == 0x47 && unitStart && pid >= 0x20 && pid != 0x1000 && pid != 0x1fff) {
            ++starts;
        }
    }
    return starts;
}

} // namespace

UdpProbe::UdpProbe(const std::string& address)
    : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    if (!socket_) {
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    }
    // Several seconds of 5 Mbit/s video must fit while the test is busy.
    const int bufferSize = 8 * 1024 * 1024;
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        throw std::runtime_error("not an IPv4 address: " + address);
    }
    if (::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        throw std::runtime_error("bind " + address + ": " + std::strerror(errno));
    }
    socklen_t length = sizeof local;
    ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
}

std::vector<Datagram> UdpProbe::receiveFor(std::chrono::milliseconds duration) {
    return receive(SIZE_MAX, duration);
}

std::vector<Datagram> UdpProbe::receiveCount(std::size_t count, std::chrono::milliseconds timeout) {
    return receive(count, timeout);
}

std::vector<Datagram> UdpProbe::receive(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<Datagram> received;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::array<std::uint8_t, 65536> buffer{};
    while (received.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd ready{socket_.get(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n = ::recvfrom(socket_.get(), buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&sender), &length);
        if (n < 0) {
            continue;
        }
        Datagram datagram;
        datagram.arrival = std::chrono::steady_clock::now();
        std::array<char, INET_ADDRSTRLEN> text{};
        ::inet_ntop(AF_INET, &sender.sin_addr, text.data(), text.size());
        datagram.sender = text.data();
        datagram.size = static_cast<std::size_t>(n);
        datagram.payloadStarts = countPayloadStarts(buffer.data(), datagram.size);
        received.push_back(std::move(datagram));
    }
    return received;
}

} // namespace vistrel::test
