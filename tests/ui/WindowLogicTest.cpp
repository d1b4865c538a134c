// The window's pure logic, no display needed: elapsed-time text, the
// statistics' figures as the overlay writes them, and the desktop portal's
// motion setting, which arrives wrapped in variants.
#include "desktop/MotionPreference.h"
#include "ui/ElapsedTime.h"
#include "ui/StatisticsPresenter.h"

#include <QDBusVariant>
#include <gtest/gtest.h>
#include <limits>

namespace vistrel {
namespace {

TEST(ElapsedTime, WholeSecondsPassedThenHoursAndNothingImpossible) {
    using limits = std::numeric_limits<double>;
    const std::pair<double, const char*> rows[] = {{0, "0:00"},
                                                   {7.999, "0:07"},
                                                   {754, "12:34"},
                                                   {3723, "1:02:03"},
                                                   {360005, "100:00:05"},
                                                   {-3, "0:00"},
                                                   {limits::quiet_NaN(), "0:00"},
                                                   {-limits::infinity(), "0:00"}};
    for (const auto& [seconds, text] : rows) {
        EXPECT_EQ(ElapsedTime::format(seconds).toStdString(), text) << seconds;
    }
    EXPECT_TRUE(ElapsedTime::format(limits::max()).endsWith(":00:00")); // no overflow
}

TEST(StatisticsPresenter, WholeRatesTimesInSecondsFromOneOnAndTheBitRateNamed) {
    StreamFigures f;
    f.shownPerSecond = 20.25;
    f.decodedPerSecond = 19.75;
    f.megabitsPerSecond = 2.5;
    f.meanDecodeMs = 3.26;
    f.worstDecodeMs = 1500;
    for (const auto& [since, text] : {std::pair{1.26, "1.3 s ago"}, {0.25, "250 ms ago"}}) {
        f.sinceLastPicture = since;
        const QStringList lines = StatisticsPresenter::valueLines(f).split('\n');
        EXPECT_EQ(lines.mid(0, 3), QStringList({"20 /s", "20 /s", "2.50 Mbit/s MPEG-TS"}));
        EXPECT_EQ(lines.value(7), "3.3 ms, worst 1.5 s");
        EXPECT_EQ(lines.value(9), text);
    }
}

TEST(MotionPreference, ReducedOnlyWhenThePortalSaysAnimationsAreOff) {
    QVariant reply[] = {false, true, "false"};
    for (int depth = 0; depth <= 2; ++depth) {
        EXPECT_TRUE(MotionPreference::reduceMotionFromReply(reply[0])) << depth;
        EXPECT_FALSE(MotionPreference::reduceMotionFromReply(reply[1])) << depth;
        EXPECT_FALSE(MotionPreference::reduceMotionFromReply(reply[2])) << depth;
        for (QVariant& r : reply) {
            r = QVariant::fromValue(QDBusVariant(r));
        }
    }
    EXPECT_FALSE(MotionPreference::reduceMotionFromReply(QVariant()));
}

} // namespace
} // namespace vistrel
