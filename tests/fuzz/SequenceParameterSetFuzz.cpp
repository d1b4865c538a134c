// The SPS reader on any bytes: what it accepts is in range, and bytes after
// a parameter set change nothing that was read from it.
#include "FuzzSupport.h"
#include "receive/SequenceParameterSet.h"

#include <vector>

using vistrel::SequenceParameterSet;
using vistrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> unit(data, size);
    const auto sps = SequenceParameterSet::parse(unit);
    if (!sps) {
        return 0;
    }
    require(sps->id >= 0 && sps->id <= 31, "parameter set id out of range");
    require(sps->chromaFormat >= 0 && sps->chromaFormat <= 3, "chroma format out of range");
    require(sps->lumaBitDepth >= 8 && sps->lumaBitDepth <= 14, "luma depth out of range");
    require(sps->chromaBitDepth >= 8 && sps->chromaBitDepth <= 14, "chroma depth out of range");
    require(sps->width >= 16 && sps->width % 16 == 0, "width not whole macroblocks");
    require(sps->height >= 16 && sps->height % 16 == 0, "height not whole macroblocks");

    std::vector<std::uint8_t> longer(unit.begin(), unit.end());
    longer.insert(longer.end(), {0x00, 0x00, 0x03, 0xFF, 0x80});
    const auto again = SequenceParameterSet::parse(longer);
    require(again && again->id == sps->id && again->profile == sps->profile &&
                again->chromaFormat == sps->chromaFormat &&
                again->lumaBitDepth == sps->lumaBitDepth &&
                again->chromaBitDepth == sps->chromaBitDepth && again->width == sps->width &&
                again->height == sps->height,
            "trailing bytes changed what was read");
    return 0;
}
