// What the statistics overlay shows, worked out from the counter samples it
// took: rates and decode times over the last four seconds, losses in total
// and over the last ten seconds, how long a held picture has
// waited for a keyframe, and the intervals between the pictures shown in the
// last ten seconds.
#pragma once

#include "receive/CounterSample.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vistrel {

struct StreamFigures {
    struct Count {
        std::uint64_t total = 0;
        std::uint64_t recent = 0; // in the last ten seconds
        friend bool operator==(const Count&, const Count&) = default;
    };
    // One shown picture: how long before the newest sample it was shown, and
    // how long after the picture before it.
    struct Interval {
        double age = 0;
        double seconds = 0;
        friend bool operator==(const Interval&, const Interval&) = default;
    };

    double shownPerSecond = 0;
    double decodedPerSecond = 0;
    double megabitsPerSecond = 0;
    Count continuityGaps;
    Count kernelDrops;
    Count picturesReplaced;
    Count picturesConcealed;
    // Of the access units decoded within the rate window; none when there were none.
    std::optional<double> meanDecodeMs;
    std::optional<double> worstDecodeMs;
    int width = 0;
    int height = 0;
    std::optional<double> sinceLastPicture; // seconds
    // How long the picture on screen has been held for want of a keyframe.
    std::optional<double> keyframeWait; // seconds
    std::vector<Interval> intervals;    // oldest first

    friend bool operator==(const StreamFigures&, const StreamFigures&) = default;
};

namespace StreamStatistics {

// Long enough that a steady rate reads steady: counted four times a second,
// a window of one second moves a count of 20 by one picture either way
// (19 to 21 /s); four seconds move it by a quarter.
inline constexpr double rateWindow = 4.0;    // seconds
inline constexpr double recentWindow = 10.0; // seconds

// `samples` oldest first; a sample whose counters went down begins a new run,
// and what came before it is left out. `shownTimes`: when pictures were shown,
// oldest first, on the samples' clock.
[[nodiscard]] StreamFigures summarise(std::span<const CounterSample> samples,
                                      std::span<const double> shownTimes);

} // namespace StreamStatistics

} // namespace vistrel
