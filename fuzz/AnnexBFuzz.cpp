// Every unit AnnexB::units finds lies inside the input, behind a start code,
// in order, is not empty and holds no start code itself.
#include "FuzzSupport.h"
#include "receive/AnnexB.h"

#include <algorithm>
#include <array>

using vistrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::array<std::uint8_t, 3> startCode{0, 0, 1};
    const std::uint8_t* previousEnd = data;
    for (const vistrel::AnnexB::Unit unit : vistrel::AnnexB::units({data, size})) {
        require(!unit.empty(), "an empty unit");
        require(unit.data() >= previousEnd + 3, "a unit not behind a start code of its own");
        require(unit.data() + unit.size() <= data + size, "a unit beyond the input");
        require(std::search(unit.begin(), unit.end(), startCode.begin(), startCode.end()) ==
                    unit.end(),
                "a start code inside a unit");
        previousEnd = unit.data() + unit.size();
    }
    return 0;
}
