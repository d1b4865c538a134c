// A broken check aborts, which libFuzzer takes as a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vistrel::fuzz {

inline void require(bool holds, const char* broken) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", broken);
        std::abort();
    }
}

} // namespace vistrel::fuzz
