// The counters of one run at one moment, as the statistics overlay samples
// them from the receiver, the decoder, the mailbox and the session. Counters
// start from zero with each run.
#pragma once

#include <cstdint>
#include <optional>

namespace vistrel {

struct CounterSample {
    double time = 0; // when taken, on the steady clock in seconds

    std::uint64_t picturesShown = 0;
    std::uint64_t picturesDecoded = 0;
    std::uint64_t bytes = 0;              // in the accepted datagrams
    std::uint64_t continuityGaps = 0;     // packets lost, as the demuxer counts them
    std::uint64_t kernelDrops = 0;        // datagrams dropped for a full socket buffer
    std::uint64_t picturesReplaced = 0;   // in the mailbox before they were shown
    std::uint64_t decodedUnits = 0;       // access units through the decoder
    std::uint64_t decodeNanos = 0;        // the time they took together
    std::uint64_t slowestDecodeNanos = 0; // the slowest one since the previous sample

    // The picture on screen (0 × 0 when none) and when it was shown.
    int width = 0;
    int height = 0;
    std::optional<double> lastShown;
    // When the run began, all counters at zero; none between runs.
    std::optional<double> runStart;

    std::uint64_t picturesConcealed = 0; // decoded with parts of them guessed
    bool waitingForKeyframe = false;     // nothing new is decoded until a keyframe comes
};

} // namespace vistrel
