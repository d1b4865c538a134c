// What the harnesses share: a check that ends the run (libFuzzer takes the
// abort as a finding) and the framing that cuts one input into several
// pieces, such as datagrams.
#pragma once

#include <algorithm>
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

// Records of a 16-bit big-endian length and that many bytes; the last one
// takes what is left when the input ends early.
inline std::vector<std::span<const std::uint8_t>> records(const std::uint8_t* data,
                                                          std::size_t size) {
    std::vector<std::span<const std::uint8_t>> pieces;
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::size_t declared = (std::size_t{data[at]} << 8) | data[at + 1];
        const std::size_t length = std::min(declared, size - at - 2);
        pieces.emplace_back(data + at + 2, length);
        at += 2 + length;
    }
    return pieces;
}

inline void appendRecord(std::vector<std::uint8_t>& input, std::span<const std::uint8_t> piece) {
    input.push_back(static_cast<std::uint8_t>(piece.size() >> 8));
    input.push_back(static_cast<std::uint8_t>(piece.size()));
    input.insert(input.end(), piece.begin(), piece.end());
}

} // namespace vistrel::fuzz
