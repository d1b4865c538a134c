// Cuts an H.264 Annex B byte stream (NAL units behind 00 00 01 or
// 00 00 00 01 start codes) into its NAL units, start codes removed and
// emulation prevention bytes left in place.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vistrel::AnnexB {

using Unit = std::span<const std::uint8_t>;

// The units of `data` in order, as views into `data` (valid as long as it is).
// Bytes before the first start code are dropped; back-to-back start codes
// yield no empty unit; a zero directly before 00 00 01 belongs to the start
// code, earlier zeros stay with the preceding unit.
std::vector<Unit> units(std::span<const std::uint8_t> data);

// The same, into a caller's vector (cleared first) so that a hot path can
// reuse its storage.
void units(std::span<const std::uint8_t> data, std::vector<Unit>& out);

} // namespace vistrel::AnnexB
