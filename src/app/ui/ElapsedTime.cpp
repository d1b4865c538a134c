#include "ui/ElapsedTime.h"

#include <cmath>
#include <cstdint>

namespace vistrel::ElapsedTime {

QString format(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        seconds = 0;
    }
    // Durations beyond a year are not meaningful here; the cap keeps the
    // conversion to an integer defined for any input.
    constexpr double cap = 366.0 * 24 * 3600;
    const auto total = static_cast<std::int64_t>(std::floor(std::min(seconds, cap)));
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = (total / 60) % 60;
    const std::int64_t secs = total % 60;
    const auto two = [](std::int64_t v) {
        return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3").arg(hours).arg(two(minutes), two(secs));
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(two(secs));
}

} // namespace vistrel::ElapsedTime
