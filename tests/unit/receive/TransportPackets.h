// Hand-made transport stream packets, PSI sections and PES headers for the
// demuxer's edge cases.
#pragma once

#include "receive/TransportStreamDemuxer.h"

#include <cstdint>
#include <vector>

namespace vistrel::test {

using Bytes = std::vector<std::uint8_t>;

struct PacketOptions {
    bool start = false;
    bool transportError = false;
    std::uint8_t scrambling = 0;
    // Adaptation field after its length byte (flags first); absent when
    // `adaptation` is false.
    bool adaptation = false;
    Bytes adaptationBody = {};
    bool payload = true;
};

// One 188-byte packet. The payload is padded to fill the packet: with
// adaptation-field stuffing when `stuffToFit`, otherwise with 0xFF bytes
// appended to the payload itself.
inline Bytes packet(int pid, int counter, const Bytes& payload, PacketOptions options = {},
                    bool stuffToFit = false) {
    Bytes p = {0x47,
               static_cast<std::uint8_t>((options.transportError ? 0x80 : 0) |
                                         (options.start ? 0x40 : 0) | ((pid >> 8) & 0x1F)),
               static_cast<std::uint8_t>(pid & 0xFF), 0};
    Bytes field = options.adaptationBody;
    bool adaptation = options.adaptation;
    if (stuffToFit && payload.size() < 184) {
        adaptation = true;
        const std::size_t room = 184 - payload.size(); // length byte + field
        if (field.empty() && room > 1) {
            field.push_back(0x00);
        }
        while (1 + field.size() < room) {
            field.push_back(0xFF);
        }
    }
    const int control = (adaptation ? 0x20 : 0) | (options.payload ? 0x10 : 0);
    p[3] = static_cast<std::uint8_t>((options.scrambling << 6) | control | (counter & 0x0F));
    if (adaptation) {
        p.push_back(static_cast<std::uint8_t>(field.size()));
        p.insert(p.end(), field.begin(), field.end());
    }
    if (options.payload) {
        p.insert(p.end(), payload.begin(), payload.end());
    }
    p.resize(std::max<std::size_t>(p.size(), 188), 0xFF);
    p.resize(188);
    return p;
}

// A PSI section with its header fields, body and CRC.
inline Bytes section(std::uint8_t table, std::uint16_t idExtension, const Bytes& body,
                     bool current = true) {
    const std::size_t length = 5 + body.size() + 4;
    Bytes s = {table,
               static_cast<std::uint8_t>(0xB0 | (length >> 8)),
               static_cast<std::uint8_t>(length & 0xFF),
               static_cast<std::uint8_t>(idExtension >> 8),
               static_cast<std::uint8_t>(idExtension & 0xFF),
               static_cast<std::uint8_t>(0xC0 | (current ? 1 : 0)),
               0,
               0};
    s.insert(s.end(), body.begin(), body.end());
    const std::uint32_t crc = TransportStreamDemuxer::crc(s);
    s.push_back(static_cast<std::uint8_t>(crc >> 24));
    s.push_back(static_cast<std::uint8_t>(crc >> 16));
    s.push_back(static_cast<std::uint8_t>(crc >> 8));
    s.push_back(static_cast<std::uint8_t>(crc));
    return s;
}

struct Program {
    int number;
    int pid;
};

inline Bytes pat(const std::vector<Program>& programs) {
    Bytes body;
    for (const Program& program : programs) {
        body.push_back(static_cast<std::uint8_t>(program.number >> 8));
        body.push_back(static_cast<std::uint8_t>(program.number & 0xFF));
        body.push_back(static_cast<std::uint8_t>(0xE0 | (program.pid >> 8)));
        body.push_back(static_cast<std::uint8_t>(program.pid & 0xFF));
    }
    return section(0x00, 1, body);
}

struct Stream {
    std::uint8_t type;
    int pid;
    Bytes info = {};
};

inline Bytes pmt(const std::vector<Stream>& streams) {
    Bytes body = {0xE1, 0x00, 0xF0, 0x00}; // PCR PID 0x100, no program info
    for (const Stream& stream : streams) {
        body.push_back(stream.type);
        body.push_back(static_cast<std::uint8_t>(0xE0 | (stream.pid >> 8)));
        body.push_back(static_cast<std::uint8_t>(stream.pid & 0xFF));
        body.push_back(static_cast<std::uint8_t>(0xF0 | (stream.info.size() >> 8)));
        body.push_back(static_cast<std::uint8_t>(stream.info.size() & 0xFF));
        body.insert(body.end(), stream.info.begin(), stream.info.end());
    }
    return section(0x02, 1, body);
}

// pointer_field 0 followed by the section(s).
inline Bytes psiPayload(const Bytes& sections) {
    Bytes payload = {0x00};
    payload.insert(payload.end(), sections.begin(), sections.end());
    return payload;
}

// A PES header (stream 0xE0, optional header without PTS) and data.
// `declared` false writes PES_packet_length 0.
inline Bytes pes(const Bytes& data, bool declared = false) {
    const std::size_t length = declared ? 3 + data.size() : 0;
    Bytes p = {0,
               0,
               1,
               0xE0,
               static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length & 0xFF),
               0x80,
               0x00,
               0x00};
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

} // namespace vistrel::test
