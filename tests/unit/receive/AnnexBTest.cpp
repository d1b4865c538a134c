#include "receive/AnnexB.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

namespace vistrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> split(const Bytes& data) {
    std::vector<Bytes> result;
    for (const AnnexB::Unit unit : AnnexB::units(data)) {
        result.emplace_back(unit.begin(), unit.end());
    }
    return result;
}

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
        EXPECT_EQ(split(c.input), c.expected) << c.name;
    }
}

// Dense zeros, cut by a plain scan that checks every position, so that the
// cutter's shortcuts cannot lose a code.
TEST(AnnexBTest, AgreesWithAPlainScanOnDenseZeroData) {
    std::mt19937 random(12345);
    Bytes data(20000);
    for (std::uint8_t& byte : data) {
        const auto r = random() % 8;
        byte = r < 5 ? 0 : r == 5 ? 1 : static_cast<std::uint8_t>(random());
    }
    std::vector<Bytes> expected;
    std::optional<std::size_t> start;
    for (std::size_t i = 0; i <= data.size(); ++i) {
        const std::size_t code = i + 3 > data.size()                                    ? 0
                                 : data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 ? 3
                                 : i + 4 <= data.size() && data[i] == 0 && data[i + 1] == 0 &&
                                         data[i + 2] == 0 && data[i + 3] == 1
                                     ? 4
                                     : 0;
        if ((code != 0 || i == data.size()) && start && i > *start) {
            expected.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(*start),
                                  data.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (code != 0) {
            start = i + code;
            i += code - 1;
        }
    }
    ASSERT_GT(expected.size(), 100U);
    EXPECT_EQ(split(data), expected);
}

} // namespace
} // namespace vistrel
