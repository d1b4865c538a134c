#include "receive/TransportStreamDemuxer.h"

#include <algorithm>
#include <cstring>

namespace vistrel {

namespace {

constexpr std::uint8_t syncByte = 0x47;
constexpr int patPID = 0;
constexpr std::uint8_t streamTypeH264 = 0x1B;
constexpr std::uint8_t tablePAT = 0x00;
constexpr std::uint8_t tablePMT = 0x02;
constexpr std::size_t minimumSectionLength = 9;
constexpr std::size_t maximumSectionLength = 1021;
constexpr std::size_t minimumPMTSectionLength = 13;
// A PES header with nothing in it, for the rest of a PES whose own was lost.
constexpr std::array<std::uint8_t, 9> emptyPESHeader = {0, 0, 1, 0xE0, 0, 0, 0x80, 0, 0};

constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i << 24;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 0x80000000U) != 0 ? (value << 1) ^ 0x04C11DB7U : value << 1;
        }
        table[i] = value;
    }
    return table;
}();

// Whether the adaptation field (starting at its length byte) ends in
// stuffing: bytes left after everything its flags announce. A field of
// length 0 is itself the one stuffing byte.
bool endsInStuffing(const std::uint8_t* field) {
    const std::size_t length = field[0];
    if (length == 0) {
        return true;
    }
    const std::size_t end = 1 + length;
    const std::uint8_t flags = field[1];
    std::size_t position = 2;
    if ((flags & 0x10) != 0) { // PCR
        position += 6;
    }
    if ((flags & 0x08) != 0) { // OPCR
        position += 6;
    }
    if ((flags & 0x04) != 0) { // splice countdown
        position += 1;
    }
    if ((flags & 0x02) != 0) { // transport private data
        if (position >= end) {
            return false;
        }
        position += 1 + field[position];
    }
    if ((flags & 0x01) != 0) { // adaptation field extension
        if (position >= end) {
            return false;
        }
        position += 1 + field[position];
    }
    return position < end;
}

} // namespace

std::uint32_t TransportStreamDemuxer::crc(std::span<const std::uint8_t> bytes) noexcept {
    std::uint32_t value = 0xFFFFFFFFU;
    for (const std::uint8_t byte : bytes) {
        value = (value << 8) ^ crcTable[((value >> 24) ^ byte) & 0xFF];
    }
    return value;
}

std::size_t TransportStreamDemuxer::sectionBytes() const noexcept {
    std::size_t total = 0;
    for (const auto& [pid, buffer] : sections_) {
        total += buffer.size();
    }
    return total;
}

void TransportStreamDemuxer::append(std::span<const std::uint8_t> bytes) {
    // Whole packets are read straight from the datagram; only a tail that
    // does not make a whole packet is kept back, so a stream arriving in whole
    // packets is never copied here.
    const bool fromPending = !pending_.empty();
    if (fromPending) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        bytes = pending_;
    }
    const std::uint8_t* data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t offset = 0;
    while (size - offset >= packetSize) {
        if (data[offset] == syncByte) {
            consume(data + offset);
            offset += packetSize;
            continue;
        }
        const void* next = std::memchr(data + offset + 1, syncByte, size - offset - 1);
        offset = next == nullptr
                     ? size
                     : static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - data);
    }
    if (fromPending) {
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(std::min(offset, size)));
    } else if (offset < size) {
        pending_.assign(data + offset, data + size);
    } else if (size == datagramSize && datagramEnds_ == DatagramEnds::Unproven) {
        datagramEnds_ = DatagramEnds::Trusted;
    } else if (size < datagramSize && packetContinuedPES_ &&
               datagramEnds_ == DatagramEnds::Trusted) {
        // Whole packets only, fewer than fit: the sender flushed a picture.
        finishEarly(EndSignal::DatagramEnd);
    }
}

inline void TransportStreamDemuxer::appendToPES(std::span<const std::uint8_t> payload) {
    // The buffer only grows, so after the first large picture collection is
    // a plain copy. It never grows past the cap plus one packet: a PES that
    // long is dropped.
    const std::size_t needed = pesSize_ + payload.size();
    if (needed > pes_.size()) {
        const std::size_t size =
            std::max(needed, std::min(2 * pes_.size(), maximumPESSize + packetSize));
        // Exactly that: resize alone would double the capacity, to 16 MiB at the cap.
        pes_.reserve(size);
        pes_.resize(size);
    }
    std::memcpy(pes_.data() + pesSize_, payload.data(), payload.size());
    pesSize_ = needed;
}

inline void TransportStreamDemuxer::consumeVideo(std::span<const std::uint8_t> payload, bool start,
                                                 const std::uint8_t* adaptationField) {
    if (start) {
        finishPES();
        collecting_ = true;
        orphaned_ = false;
        awaitingStart_ = false;
        earlyEnd_ = EndSignal::None;
        ++pesStarts_;
    } else if (!collecting_ && orphaned_) {
        orphaned_ = false;
        collecting_ = true;
        damaged_ = true;
        appendToPES(emptyPESHeader);
    } else if (!collecting_) {
        if (earlyEnd_ != EndSignal::None) {
            ++earlyCompletions_.incomplete;
            if (earlyEnd_ == EndSignal::DatagramEnd) {
                datagramEnds_ = DatagramEnds::Distrusted;
            }
            resetVideo();
        }
        return;
    }
    appendToPES(payload);

    if (!expectedPESLength_ && pesSize_ > 5) {
        if (pes_[0] != 0 || pes_[1] != 0 || pes_[2] != 1) {
            resetVideo();
            return;
        }
        const std::size_t declared = (static_cast<std::size_t>(pes_[4]) << 8) | pes_[5];
        expectedPESLength_ = declared == 0 ? 0 : declared + 6;
    }
    if (expectedPESLength_) {
        const std::size_t expected = *expectedPESLength_;
        if (expected > 0 && pesSize_ >= expected) {
            pesSize_ = expected;
            finishPES();
            return;
        }
        if (expected == 0 && adaptationField != nullptr) {
            // A field of length 1 whose flags byte is 0 carries nothing: it
            // is there only to pad the packet by two bytes.
            if (adaptationField[0] == 1 && adaptationField[1] == 0) {
                finishEarly(EndSignal::EmptyField);
                return;
            }
            if (endsInStuffing(adaptationField)) {
                finishEarly(EndSignal::Stuffing);
                return;
            }
        }
    }
    if (pesSize_ > maximumPESSize) {
        resetVideo();
        return;
    }
    packetContinuedPES_ = expectedPESLength_ == 0;
}

void TransportStreamDemuxer::finishEarly(EndSignal signal) {
    if (!finishPES()) {
        return;
    }
    earlyEnd_ = signal;
    switch (signal) {
    case EndSignal::Stuffing:
        ++earlyCompletions_.stuffing;
        break;
    case EndSignal::EmptyField:
        ++earlyCompletions_.emptyField;
        break;
    case EndSignal::DatagramEnd:
        ++earlyCompletions_.datagramEnd;
        break;
    case EndSignal::None:
        break;
    }
}

void TransportStreamDemuxer::consume(const std::uint8_t* packet) {
    packetContinuedPES_ = false;
    const bool transportError = (packet[1] & 0x80) != 0;
    const bool start = (packet[1] & 0x40) != 0;
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    const int scrambling = packet[3] >> 6;
    const int adaptationControl = (packet[3] >> 4) & 0x03;
    const int counter = packet[3] & 0x0F;
    const bool isVideo = videoPID_ == pid;

    if (transportError || scrambling != 0) {
        if (isVideo) {
            videoLost();
        }
        return;
    }
    if (adaptationControl == 0) {
        return;
    }
    std::size_t payloadStart = 4;
    const std::uint8_t* adaptationField = nullptr;
    if ((adaptationControl & 0x02) != 0) {
        const std::size_t fieldLength = packet[4];
        if (fieldLength > 183) {
            return;
        }
        if (fieldLength > 0 && (packet[5] & 0x80) != 0) {
            continuity_[static_cast<std::size_t>(pid)] = -1;
            if (isVideo) {
                videoLost();
            }
        }
        if (adaptationControl == 0x02 || fieldLength == 183) {
            return;
        }
        payloadStart = 5 + fieldLength;
        adaptationField = packet + 4;
    }

    std::int8_t& last = continuity_[static_cast<std::size_t>(pid)];
    if (last >= 0) {
        if (last == counter) {
            return; // duplicate
        }
        if (((last + 1) & 0x0F) != counter) {
            ++droppedPackets_;
            sections_.erase(pid);
            if (isVideo) {
                videoLost();
            }
        }
    }
    last = static_cast<std::int8_t>(counter);

    const std::span<const std::uint8_t> payload(packet + payloadStart, packetSize - payloadStart);
    if (pid == patPID || pmtPID_ == pid) {
        consumePSI(payload, pid, start);
    }
    if (videoPID_ == pid) {
        consumeVideo(payload, start, adaptationField);
    }
}

bool TransportStreamDemuxer::finishPES() {
    bool handedOn = false;
    if (pesSize_ >= 9 && pes_[0] == 0 && pes_[1] == 0 && pes_[2] == 1 && (pes_[6] & 0xC0) == 0x80) {
        const std::size_t dataStart = 9 + static_cast<std::size_t>(pes_[8]);
        if (dataStart < pesSize_) {
            handedOn = true;
            if (onAccessUnit_) {
                onAccessUnit_(
                    std::span<const std::uint8_t>(pes_.data() + dataStart, pesSize_ - dataStart),
                    damaged_);
            }
        }
    }
    pesSize_ = 0;
    collecting_ = false;
    damaged_ = false;
    expectedPESLength_.reset();
    return handedOn;
}

void TransportStreamDemuxer::resetVideo() {
    pesSize_ = 0;
    collecting_ = false;
    damaged_ = false;
    orphaned_ = false;
    awaitingStart_ = true;
    expectedPESLength_.reset();
    earlyEnd_ = EndSignal::None;
    if (onDiscontinuity_) {
        onDiscontinuity_();
    }
}

void TransportStreamDemuxer::videoLost() {
    if (lossPolicy_.load(std::memory_order_relaxed) == LossPolicy::Hold) {
        resetVideo();
        return;
    }
    // Payload that follows may belong to the next PES, whose start was lost
    // with the gap: it proves nothing about an early end before the gap.
    damaged_ = damaged_ || collecting_;
    orphaned_ = !collecting_ && !awaitingStart_;
    earlyEnd_ = EndSignal::None;
}

void TransportStreamDemuxer::consumePSI(std::span<const std::uint8_t> payload, int pid,
                                        bool start) {
    if (!start) {
        const auto found = sections_.find(pid);
        if (found != sections_.end()) {
            found->second.insert(found->second.end(), payload.begin(), payload.end());
            parseSections(pid);
        }
        return;
    }
    if (payload.empty()) {
        return;
    }
    const std::size_t pointer = payload[0];
    if (pointer + 1 >= payload.size()) {
        return;
    }
    if (pointer > 0) {
        const auto found = sections_.find(pid);
        if (found != sections_.end()) {
            found->second.insert(found->second.end(), payload.begin() + 1,
                                 payload.begin() + 1 + static_cast<std::ptrdiff_t>(pointer));
            parseSections(pid);
        }
    }
    sections_[pid].assign(payload.begin() + 1 + static_cast<std::ptrdiff_t>(pointer),
                          payload.end());
    parseSections(pid);
}

void TransportStreamDemuxer::parseSections(int pid) {
    const auto found = sections_.find(pid);
    if (found == sections_.end()) {
        return;
    }
    std::vector<std::uint8_t>& buffer = found->second;
    std::size_t position = 0;
    while (buffer.size() - position >= 3) {
        if (buffer[position] == 0xFF) {
            position = buffer.size();
            break;
        }
        const std::size_t length =
            (static_cast<std::size_t>(buffer[position + 1] & 0x0F) << 8) | buffer[position + 2];
        if (length < minimumSectionLength || length > maximumSectionLength) {
            sections_.erase(found);
            return;
        }
        if (buffer.size() - position < length + 3) {
            break;
        }
        // Copied out because a PMT may reset the video, and whatever that
        // calls must not see this buffer change under it.
        const std::vector<std::uint8_t> section(
            buffer.begin() + static_cast<std::ptrdiff_t>(position),
            buffer.begin() + static_cast<std::ptrdiff_t>(position + length + 3));
        position += length + 3;
        if ((section[5] & 0x01) == 0 || crc(section) != 0) {
            continue;
        }
        if (pid == patPID && section[0] == tablePAT) {
            parsePAT(section);
        } else if (section[0] == tablePMT && length >= minimumPMTSectionLength) {
            parsePMT(section);
        }
    }
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(position));
    if (!buffer.empty() && buffer[0] == 0xFF) {
        buffer.clear();
    }
}

void TransportStreamDemuxer::parsePAT(std::span<const std::uint8_t> section) {
    const std::size_t length = section.size() - 3;
    for (std::size_t entry = 8; entry + 4 < length; entry += 4) {
        const int program = (section[entry] << 8) | section[entry + 1];
        if (program != 0) {
            const int pid = ((section[entry + 2] & 0x1F) << 8) | section[entry + 3];
            // Nothing reads the old PMT PID any more: its partial section
            // would stay for good. The PAT's own buffer is in use right now.
            if (pmtPID_ && *pmtPID_ != pid && *pmtPID_ != patPID) {
                sections_.erase(*pmtPID_);
            }
            pmtPID_ = pid;
            return;
        }
    }
}

void TransportStreamDemuxer::parsePMT(std::span<const std::uint8_t> section) {
    const std::size_t length = section.size() - 3;
    const std::size_t programInfoLength =
        (static_cast<std::size_t>(section[10] & 0x0F) << 8) | section[11];
    std::size_t entry = 12 + programInfoLength;
    while (entry + 5 < length) {
        if (section[entry] == streamTypeH264) {
            const int pid = ((section[entry + 1] & 0x1F) << 8) | section[entry + 2];
            if (videoPID_ != pid) {
                resetVideo();
                videoPID_ = pid;
            }
            return;
        }
        const std::size_t infoLength =
            (static_cast<std::size_t>(section[entry + 3] & 0x0F) << 8) | section[entry + 4];
        entry += 5 + infoLength;
    }
}

} // namespace vistrel
