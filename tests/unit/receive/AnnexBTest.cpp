#include "receive/AnnexB.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace vistrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(AnnexBTest, CutsStreamsIntoUnits) {
    const struct {
        const char* name;
        Bytes input;
        std::vector<Bytes> expected;
    } cases[] = {
        {"start code alone", {0, 0, 1}, {}},
        {"no start code", {0x65, 0x88, 0x00, 0x00, 0x02}, {}},
        {"3- and 4-byte codes",
         {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE},
         {{0x09, 0xF0}, {0x67, 0x42}, {0x68, 0xCE}}},
        {"leading garbage dropped", {0xAB, 0xCD, 0, 0, 1, 0x65, 0x88}, {{0x65, 0x88}}},
        {"back-to-back codes", {0, 0, 1, 0, 0, 1, 0x65}, {{0x65}}},
        {"zeros before a 4-byte code", {0, 0, 1, 0xAB, 0, 0, 0, 0, 1, 0xCD}, {{0xAB, 0}, {0xCD}}},
        {"emulation prevention kept", {0, 0, 1, 0xAB, 0, 0, 3, 1}, {{0xAB, 0, 0, 3, 1}}},
        {"trailing zeros kept", {0, 0, 1, 0x41, 0, 0}, {{0x41, 0, 0}}},
        {"code at the very end", {0, 0, 1, 0x41, 0x42, 0, 0, 1}, {{0x41, 0x42}}},
    };
    for (const auto& c : cases) {
        std::vector<Bytes> units;
        for (const AnnexB::Unit unit : AnnexB::units(c.input)) {
            units.emplace_back(unit.begin(), unit.end());
        }
        EXPECT_EQ(units, c.expected) << c.name;
    }
}

} // namespace
} // namespace vistrel
