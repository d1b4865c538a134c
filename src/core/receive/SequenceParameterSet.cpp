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
        const std::uint32_t value = (bytes_[index_] >> (7 - bit_)) & 1U;
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
    return sps;
}

} // namespace vistrel
