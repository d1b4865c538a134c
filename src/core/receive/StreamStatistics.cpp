#include "receive/StreamStatistics.h"

#include <algorithm>

namespace vistrel::StreamStatistics {

namespace {

constexpr std::uint64_t CounterSample::*counters[] = {
    &CounterSample::picturesShown, &CounterSample::picturesDecoded,
    &CounterSample::bytes,         &CounterSample::continuityGaps,
    &CounterSample::kernelDrops,   &CounterSample::picturesReplaced,
    &CounterSample::decodedUnits,  &CounterSample::decodeNanos,
};

bool restarted(const CounterSample& before, const CounterSample& after) {
    return std::ranges::any_of(counters,
                               [&](auto counter) { return after.*counter < before.*counter; });
}

// The newest sample taken at least `window` before the last one, so that the
// span measured covers the whole window; the oldest when the run is younger.
std::size_t baseline(std::span<const CounterSample> run, double window) {
    const double limit = run.back().time - window;
    std::size_t found = 0;
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (run[i].time <= limit) {
            found = i;
        }
    }
    return found;
}

StreamFigures::Count count(std::uint64_t CounterSample::*counter, const CounterSample& from,
                           const CounterSample& to) {
    return {to.*counter, to.*counter - from.*counter};
}

} // namespace

StreamFigures summarise(std::span<const CounterSample> samples,
                        std::span<const double> shownTimes) {
    StreamFigures figures;
    if (samples.empty()) {
        return figures;
    }
    std::size_t first = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (restarted(samples[i - 1], samples[i])) {
            first = i;
        }
    }
    const std::span<const CounterSample> run = samples.subspan(first);
    const CounterSample& now = run.back();

    const std::size_t second = baseline(run, rateWindow);
    const CounterSample& then = run[second];
    if (const double elapsed = now.time - then.time; elapsed > 0) {
        figures.shownPerSecond = double(now.picturesShown - then.picturesShown) / elapsed;
        figures.decodedPerSecond = double(now.picturesDecoded - then.picturesDecoded) / elapsed;
        figures.megabitsPerSecond = double(now.bytes - then.bytes) * 8 / elapsed / 1e6;
    }
    if (const std::uint64_t units = now.decodedUnits - then.decodedUnits; units > 0) {
        figures.meanDecodeMs = double(now.decodeNanos - then.decodeNanos) / double(units) / 1e6;
        std::uint64_t worst = 0;
        for (std::size_t i = second + 1; i < run.size(); ++i) {
            worst = std::max(worst, run[i].slowestDecodeNanos);
        }
        figures.worstDecodeMs = double(worst) / 1e6;
    }

    const CounterSample& tenSecondsAgo = run[baseline(run, recentWindow)];
    figures.continuityGaps = count(&CounterSample::continuityGaps, tenSecondsAgo, now);
    figures.kernelDrops = count(&CounterSample::kernelDrops, tenSecondsAgo, now);
    figures.picturesReplaced = count(&CounterSample::picturesReplaced, tenSecondsAgo, now);

    figures.width = now.width;
    figures.height = now.height;
    if (now.lastShown) {
        figures.sinceLastPicture = now.time - *now.lastShown;
    }
    for (std::size_t i = 1; i < shownTimes.size(); ++i) {
        const double age = now.time - shownTimes[i];
        if (age >= 0 && age < recentWindow) {
            figures.intervals.push_back({age, shownTimes[i] - shownTimes[i - 1]});
        }
    }
    return figures;
}

} // namespace vistrel::StreamStatistics
