#include "receive/StreamStatistics.h"

#include <gtest/gtest.h>
#include <vector>

// Each row names only the fields it sets; GCC before 14 warns about the rest
// even in designated initializers.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vistrel {
namespace {

struct Case {
    const char* name;
    // time, shown, decoded, bytes, gaps, kernel drops, replaced, units, decode ns, slowest ns,
    // width, height, last shown, run start
    std::vector<CounterSample> samples;
    StreamFigures expected;
    std::vector<double> shownTimes = {};
};

TEST(StreamStatistics, FiguresFromCounterSequences) {
    const std::vector<Case> cases = {
        {"rates and decode times over the last four seconds, not before",
         {{96.75, 90, 90, 0, 0, 0, 0, 90, 0, 9'000'000},
          {97, 100, 100, 0, 0, 0, 0, 100, 0, 9'000'000},
          {99, 220, 224, 2'400'000, 0, 0, 0, 224, 248'000'000, 3'000'000},
          {101, 340, 348, 4'000'000, 0, 0, 0, 348, 496'000'000, 5'000'000}},
         {.shownPerSecond = 60,
          .decodedPerSecond = 62,
          .megabitsPerSecond = 8,
          .meanDecodeMs = 2,
          .worstDecodeMs = 5}},
        {"one sample of a young run: counted from its start",
         {{100.5, 30, 30, 500'000, 2, 0, 3, 30, 60'000'000, 4'000'000, 0, 0, {}, 100}},
         {.shownPerSecond = 60,
          .decodedPerSecond = 60,
          .megabitsPerSecond = 8,
          .continuityGaps = {2, 2},
          .picturesReplaced = {3, 3},
          .meanDecodeMs = 2,
          .worstDecodeMs = 4}},
        {"losses in total and since the newest sample ten seconds old, not four",
         {{100, 0, 0, 0, 5, 1, 0, 0, 0, 0},
          {101, 0, 0, 0, 7, 1, 1, 0, 0, 0},
          {106, 0, 0, 0, 8, 2, 2, 0, 0, 0},
          {111.5, 0, 0, 0, 9, 4, 2, 0, 0, 0},
          {112, 0, 0, 0, 10, 4, 6, 0, 0, 0}},
         {.continuityGaps = {10, 3}, .kernelDrops = {4, 3}, .picturesReplaced = {6, 5}}},
        {"a run that starts again counts from its own beginning",
         {{100, 500, 500, 9'000'000, 40, 8, 20, 500, 900'000'000, 1'000'000},
          {101, 0, 0, 0, 0, 0, 0, 0, 0, 0},
          {102, 30, 30, 250'000, 1, 0, 2, 30, 30'000'000, 1'500'000}},
         {.shownPerSecond = 30,
          .decodedPerSecond = 30,
          .megabitsPerSecond = 2,
          .continuityGaps = {1, 1},
          .picturesReplaced = {2, 2},
          .meanDecodeMs = 1,
          .worstDecodeMs = 1.5}},
        {"one sample of a run of unknown start: totals, nothing yet over any span; intervals "
         "between the pictures of the last ten seconds, a stall shows",
         {{20, 5, 5, 4000, 2, 1, 3, 5, 20'000'000, 5'000'000, 640, 480, 19.75}},
         {.continuityGaps = {2, 0},
          .kernelDrops = {1, 0},
          .picturesReplaced = {3, 0},
          .width = 640,
          .height = 480,
          .sinceLastPicture = 0.25,
          .intervals = {{9.75, 0.25}, {9.5, 0.25}, {0.25, 9.25}}},
         {9.5, 10, 10.25, 10.5, 19.75}},
        {"a held picture: how long it waits for a keyframe; concealed pictures counted",
         {{.time = 100, .picturesConcealed = 3},
          {.time = 111, .lastShown = 109.5, .picturesConcealed = 7, .waitingForKeyframe = true}},
         {.picturesConcealed = {7, 4}, .sinceLastPicture = 1.5, .keyframeWait = 1.5}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StreamStatistics::summarise(c.samples, c.shownTimes), c.expected) << c.name;
    }
}

} // namespace
} // namespace vistrel
