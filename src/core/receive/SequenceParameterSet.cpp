#include "receive/SequenceParameterSet.h"

namespace vistrel {

namespace {

// Reads bits most significant first, skipping emulation prevention bytes.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::optional<std::uint32_t> bits(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const auto bit = next();
            if (!bit) {
                return std::nullopt;
            }
            value = (value << 1) | *bit;
        }
        return value;
    }

    // Exp-Golomb unsigned; values beyond 32 bits are treated as damage.
    std::optional<std::uint32_t> unsignedGolomb() {
        int zeros = 0;
        while (true) {
            const auto bit = next();
            if (!bit) {
                return std::nullopt;
            }
            if (*bit == 1) {
                break;
            }
            if (++zeros > 31) {
                return std::nullopt;
            }
        }
        const auto rest = bits(zeros);
        if (!rest) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + *rest);
    }

    // Exp-Golomb signed.
    std::optional<std::int64_t> signedGolomb() {
        const auto code = unsignedGolomb();
        if (!code) {
            return std::nullopt;
        }
        const auto magnitude = static_cast<std::int64_t>((std::uint64_t{*code} + 1) / 2);
        return (*code & 1U) != 0 ? magnitude : -magnitude;
    }

private:
    std::optional<std::uint32_t> next() {
        if (bit_ == 0) {
            if (index_ >= bytes_.size()) {
                return std::nullopt;
            }
            if (index_ >= 2 && bytes_[index_] == 3 && bytes_[index_ - 1] == 0 &&
                bytes_[index_ - 2] == 0) {
                ++index_;
                return next();
            }
        }
        const auto value = static_cast<std::uint32_t>(bytes_[index_] >> (7 - bit_)) & 1U;
        if (++bit_ == 8) {
            bit_ = 0;
            ++index_;
        }
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t index_ = 0;
    int bit_ = 0;
};

bool hasChromaFields(int profile) {
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        return true;
    default:
        return false;
    }
}

// Reads past one scaling list; false when the unit ends inside it.
bool skipScalingList(BitReader& reader, int size) {
    std::int64_t last = 8;
    std::int64_t next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            const auto delta = reader.signedGolomb();
            if (!delta) {
                return false;
            }
            next = ((last + *delta) % 256 + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
    return true;
}

// From the bit depths on to the frame_mbs_only_flag, which gives the coded
// picture size; false when the unit ends first or a field is out of range.
bool readSize(BitReader& reader, SequenceParameterSet& sps, bool chromaFields) {
    if (chromaFields) {
        const auto bypassAndMatrix = reader.bits(2);
        if (!bypassAndMatrix) {
            return false;
        }
        if ((*bypassAndMatrix & 1U) != 0) {
            for (int i = 0; i < (sps.chromaFormat != 3 ? 8 : 12); ++i) {
                const auto present = reader.bits(1);
                if (!present || (*present != 0 && !skipScalingList(reader, i < 6 ? 16 : 64))) {
                    return false;
                }
            }
        }
    }
    const auto frameNumBits = reader.unsignedGolomb();
    const auto orderType = reader.unsignedGolomb();
    if (!frameNumBits || !orderType || *frameNumBits > 12 || *orderType > 2) {
        return false;
    }
    if (*orderType == 0 && !reader.unsignedGolomb()) {
        return false;
    }
    if (*orderType == 1) {
        const auto alwaysZero = reader.bits(1);
        const auto nonReference = reader.signedGolomb();
        const auto topToBottom = reader.signedGolomb();
        const auto cycle = reader.unsignedGolomb();
        if (!alwaysZero || !nonReference || !topToBottom || !cycle || *cycle > 255) {
            return false;
        }
        for (std::uint32_t i = 0; i < *cycle; ++i) {
            if (!reader.signedGolomb()) {
                return false;
            }
        }
    }
    const auto references = reader.unsignedGolomb();
    const auto gaps = reader.bits(1);
    const auto widthInMacroblocks = reader.unsignedGolomb();
    const auto heightInMapUnits = reader.unsignedGolomb();
    const auto frameMacroblocksOnly = reader.bits(1);
    if (!references || !gaps || !widthInMacroblocks || !heightInMapUnits || !frameMacroblocksOnly ||
        *widthInMacroblocks > 0xFFFF || *heightInMapUnits > 0xFFFF) {
        return false;
    }
    sps.width = (static_cast<int>(*widthInMacroblocks) + 1) * 16;
    sps.height = (static_cast<int>(*heightInMapUnits) + 1) * 16 *
                 (*frameMacroblocksOnly != 0 ? 1 : 2); // else fields: two per frame
    return true;
}

} // namespace

std::optional<SequenceParameterSet>
SequenceParameterSet::parse(std::span<const std::uint8_t> unit) {
    if (unit.size() < 5 || (unit[0] & 0x1F) != 7) {
        return std::nullopt;
    }
    BitReader reader(unit.subspan(1));
    SequenceParameterSet sps;
    const auto profile = reader.bits(8);
    if (!profile || !reader.bits(16)) { // constraint flags, level
        return std::nullopt;
    }
    sps.profile = static_cast<int>(*profile);
    const auto id = reader.unsignedGolomb();
    if (!id || *id > 31) {
        return std::nullopt;
    }
    sps.id = static_cast<int>(*id);
    if (hasChromaFields(sps.profile)) {
        const auto chroma = reader.unsignedGolomb();
        if (!chroma || *chroma > 3) {
            return std::nullopt;
        }
        sps.chromaFormat = static_cast<int>(*chroma);
        if (sps.chromaFormat == 3 && !reader.bits(1)) { // separate colour planes
            return std::nullopt;
        }
        const auto luma = reader.unsignedGolomb();
        const auto chromaDepth = reader.unsignedGolomb();
        if (!luma || !chromaDepth || *luma > 6 || *chromaDepth > 6) {
            return std::nullopt;
        }
        sps.lumaBitDepth = 8 + static_cast<int>(*luma);
        sps.chromaBitDepth = 8 + static_cast<int>(*chromaDepth);
    }
    if (!readSize(reader, sps, hasChromaFields(sps.profile))) {
        return std::nullopt;
    }
    return sps;
}

} // namespace vistrel
