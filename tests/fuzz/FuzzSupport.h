// What the harnesses share: a check whose failure libFuzzer takes as a
// finding, and one input cut into pieces such as datagrams (a 16-bit
// big-endian length, then that many bytes).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace vistrel::fuzz {

inline void require(bool holds, const char* broken) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", broken);
        std::abort();
    }
}

inline std::vector<std::span<const std::uint8_t>> records(const std::uint8_t* data,
                                                          std::size_t size) {
    std::vector<std::span<const std::uint8_t>> pieces;
    for (std::size_t at = 0; at + 2 <= size; at += 2 + pieces.back().size()) {
        pieces.emplace_back(data + at + 2,
                            std::min(std::size_t(data[at] << 8 | data[at + 1]), size - at - 2));
    }
    return pieces;
}

} // namespace vistrel::fuzz
