// What the receive pipeline does when the network loses part of the video.
//
// `Hold` never shows a damaged picture: whatever was being collected when
// the loss was noticed is dropped and decoding waits for the next keyframe,
// so the last whole picture stays on screen meanwhile. `KeepMoving` hands on
// what arrived, marked damaged, and lets the decoder conceal the missing
// part; the damage heals at the next keyframe. Over Wi-Fi, where a fraction
// of a percent of datagrams is routinely lost, keyframes are hit too, and
// `Hold` can stand still for seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vistrel {

enum class LossPolicy : std::uint8_t { Hold, KeepMoving };

namespace LossPolicies {

// The names a policy is saved under.
[[nodiscard]] constexpr std::string_view name(LossPolicy policy) noexcept {
    return policy == LossPolicy::KeepMoving ? "keepMoving" : "hold";
}
[[nodiscard]] constexpr std::optional<LossPolicy> named(std::string_view name) noexcept {
    if (name == "hold") {
        return LossPolicy::Hold;
    }
    if (name == "keepMoving") {
        return LossPolicy::KeepMoving;
    }
    return std::nullopt;
}

} // namespace LossPolicies

} // namespace vistrel
