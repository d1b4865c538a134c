// The SPS reader on every parameter set of an Annex B input: what it accepts
// is in range, and bytes after a parameter set change nothing read from it.
#include "FuzzSupport.h"
#include "receive/AnnexB.h"
#include "receive/SequenceParameterSet.h"

#include <tuple>
#include <vector>

using vistrel::SequenceParameterSet;
using vistrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = [](const SequenceParameterSet& s) {
        return std::tuple(s.id, s.profile, s.chromaFormat, s.lumaBitDepth, s.chromaBitDepth,
                          s.width, s.height);
    };
    for (const vistrel::AnnexB::Unit unit : vistrel::AnnexB::units({data, size})) {
        const auto sps = (unit[0] & 0x1F) == 7 ? SequenceParameterSet::parse(unit) : std::nullopt;
        if (!sps) {
            continue;
        }
        require(sps->id >= 0 && sps->id <= 31 && sps->chromaFormat >= 0 && sps->chromaFormat <= 3,
                "parameter set id or chroma format out of range");
        require(sps->lumaBitDepth >= 8 && sps->lumaBitDepth <= 14 && sps->chromaBitDepth >= 8 &&
                    sps->chromaBitDepth <= 14,
                "bit depth out of range");
        require(sps->width >= 16 && sps->width % 16 == 0 && sps->height >= 16 &&
                    sps->height % 16 == 0,
                "size not whole macroblocks");
        std::vector<std::uint8_t> longer(unit.begin(), unit.end());
        longer.insert(longer.end(), {0x00, 0x00, 0x03, 0xFF, 0x80});
        const auto again = SequenceParameterSet::parse(longer);
        require(again && fields(*again) == fields(*sps), "trailing bytes changed what was read");
    }
    return 0;
}
