#include "receive/AnnexB.h"

namespace vistrel::AnnexB {

void units(std::span<const std::uint8_t> data, std::vector<Unit>& out) {
    out.clear();
    const std::size_t size = data.size();
    if (size < 3) {
        return;
    }
    const std::uint8_t* bytes = data.data();
    bool seen = false;
    std::size_t unitStart = 0;
    std::size_t i = 0;
    while (i + 2 < size) {
        // Every start code has a zero at i + 1, so jump straight to the next
        // zero byte; slice data rarely holds one.
        if (bytes[i + 1] != 0) {
            i += 2;
            continue;
        }
        if (bytes[i] != 0) {
            ++i;
            continue;
        }
        std::size_t codeLength = 0;
        if (bytes[i + 2] == 1) {
            codeLength = 3;
        } else if (bytes[i + 2] == 0 && i + 3 < size && bytes[i + 3] == 1) {
            codeLength = 4;
        }
        if (codeLength == 0) {
            ++i;
            continue;
        }
        if (seen && i > unitStart) {
            out.emplace_back(bytes + unitStart, i - unitStart);
        }
        seen = true;
        i += codeLength;
        unitStart = i;
    }
    if (seen && unitStart < size) {
        out.emplace_back(bytes + unitStart, size - unitStart);
    }
}

std::vector<Unit> units(std::span<const std::uint8_t> data) {
    std::vector<Unit> out;
    units(data, out);
    return out;
}

} // namespace vistrel::AnnexB
