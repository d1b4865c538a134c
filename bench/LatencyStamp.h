// A picture number painted into the top left of a picture's luma as black and
// white 16 × 16 blocks (one macroblock each, so they survive H.264 coding at
// any quality the headset uses), and read back from a decoded picture: the
// number in the first row of 32 blocks, a scrambled copy in the second. Not
// the complement: where a picture refers to a damaged one, the decoder adds
// the next picture's changes to the wrong blocks, which turns one number and
// its complement into another number and its complement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace vistrel::bench {

inline constexpr int stampBlock = 16;
inline constexpr int stampBits = 32;
// The smallest picture width that holds a stamp.
inline constexpr int stampWidth = stampBits * stampBlock;

// Neighbouring numbers differ in about half the bits, and neither all black
// nor all white passes.
constexpr std::uint32_t stampCheck(std::uint32_t number) {
    number *= 0x9E3779B1U;
    return number ^ (number >> 15) ^ 0xA5A5A5A5U;
}

inline void paintStamp(std::uint8_t* luma, std::ptrdiff_t stride, std::uint32_t number) {
    for (int row = 0; row < 2; ++row) {
        const std::uint32_t value = row == 0 ? number : stampCheck(number);
        for (int y = 0; y < stampBlock; ++y) {
            std::uint8_t* line = luma + (row * stampBlock + y) * stride;
            for (int bit = 0; bit < stampBits; ++bit) {
                const bool set = ((value >> (stampBits - 1 - bit)) & 1U) != 0;
                std::memset(line + bit * stampBlock, set ? 235 : 16, stampBlock);
            }
        }
    }
}

// Nothing when the two rows disagree (a picture without a stamp).
inline std::optional<std::uint32_t> readStamp(const std::uint8_t* luma, std::ptrdiff_t stride) {
    std::uint32_t rows[2] = {0, 0};
    for (int row = 0; row < 2; ++row) {
        const std::uint8_t* centre = luma + (row * stampBlock + stampBlock / 2) * stride;
        for (int bit = 0; bit < stampBits; ++bit) {
            const bool set = centre[bit * stampBlock + stampBlock / 2] >= 128;
            rows[row] = (rows[row] << 1) | (set ? 1U : 0U);
        }
    }
    if (rows[1] != stampCheck(rows[0])) {
        return std::nullopt;
    }
    return rows[0];
}

} // namespace vistrel::bench
