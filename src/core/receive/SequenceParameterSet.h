// The few fields of an H.264 sequence parameter set that decide whether its
// pictures can be shown here: everything downstream takes 8-bit 4:2:0, and
// pictures of bounded size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vistrel {

struct SequenceParameterSet {
    int profile = 0;
    int id = 0;
    int chromaFormat = 1; // 0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4
    int lumaBitDepth = 8;
    int chromaBitDepth = 8;
    // The coded picture size in pixels (whole macroblocks, before cropping).
    int width = 0;
    int height = 0;

    // The SPS NAL unit (header byte included, emulation prevention bytes in
    // place); nothing when it is cut short or out of range.
    static std::optional<SequenceParameterSet> parse(std::span<const std::uint8_t> unit);

    [[nodiscard]] bool is8Bit420() const noexcept {
        return chromaFormat == 1 && lumaBitDepth == 8 && chromaBitDepth == 8;
    }
};

} // namespace vistrel
