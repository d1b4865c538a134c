#include "receive/StreamStatistics.h"

#include <algorithm>

namespace vistrel::StreamStatistics {

namespace {

constexpr std::uint64_t CounterSample::*counters[] = {
    &CounterSample::picturesShown,
    &CounterSample::picturesDecoded,
    &CounterSample::bytes,
    &CounterSample::continuityGaps,
    &CounterSample::kernelDrops,
    &CounterSample::picturesReplaced,
    &CounterSample::decodedUnits,
    &CounterSample::decodeNanos,
    &CounterSample::picturesConcealed,
};

bool restarted(const CounterSample& before, const CounterSample& after) {
    return std::ranges::any_of(counters,
                               [&](auto counter) { return after.*counter < before.*counter; });
}

// The counters `window` before the last sample, and the first sample after
// them: the newest sample at least that old; else the run's start, when it
// began within the window; else the oldest sample, which undercounts until
// the samples reach back far enough.
struct Base {
    CounterSample counters;
    std::size_t next = 0;
};
Base base(std::span<const CounterSample> run, double window) {
    const double limit = run.back().time - window;
    for (std::size_t i = run.size(); i-- > 0;) {
        if (run[i].time <= limit) {
            return {run[i], i + 1};
        }
    }
    if (const std::optional<double> start = run.back().runStart; start && *start >= limit) {
        CounterSample zero;
        zero.time = *start;
        return {zero, 0};
    }
    return {run.front(), 1};
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

    const Base window = base(run, rateWindow);
    const CounterSample& then = window.counters;
    if (const double elapsed = now.time - then.time; elapsed > 0) {
        figures.shownPerSecond = double(now.picturesShown - then.picturesShown) / elapsed;
        figures.decodedPerSecond = double(now.picturesDecoded - then.picturesDecoded) / elapsed;
        figures.megabitsPerSecond = double(now.bytes - then.bytes) * 8 / elapsed / 1e6;
    }
    if (const std::uint64_t units = now.decodedUnits - then.decodedUnits; units > 0) {
        figures.meanDecodeMs = double(now.decodeNanos - then.decodeNanos) / double(units) / 1e6;
        std::uint64_t worst = 0;
        for (std::size_t i = window.next; i < run.size(); ++i) {
            worst = std::max(worst, run[i].slowestDecodeNanos);
        }
        figures.worstDecodeMs = double(worst) / 1e6;
    }

    const CounterSample tenSecondsAgo = base(run, recentWindow).counters;
    figures.continuityGaps = count(&CounterSample::continuityGaps, tenSecondsAgo, now);
    figures.kernelDrops = count(&CounterSample::kernelDrops, tenSecondsAgo, now);
    figures.picturesReplaced = count(&CounterSample::picturesReplaced, tenSecondsAgo, now);
    figures.picturesConcealed = count(&CounterSample::picturesConcealed, tenSecondsAgo, now);

    figures.width = now.width;
    figures.height = now.height;
    if (now.lastShown) {
        figures.sinceLastPicture = now.time - *now.lastShown;
        if (now.waitingForKeyframe) {
            figures.keyframeWait = figures.sinceLastPicture;
        }
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
