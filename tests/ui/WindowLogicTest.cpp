// The window's pure logic, no display needed: elapsed-time text and the
// desktop portal's motion setting, which arrives wrapped in variants.
#include "desktop/MotionPreference.h"
#include "ui/ElapsedTime.h"

#include <QDBusVariant>
#include <gtest/gtest.h>
#include <limits>

namespace vistrel {
namespace {

TEST(ElapsedTime, WholeSecondsPassedThenHoursAndNothingImpossible) {
    using limits = std::numeric_limits<double>;
    const std::pair<double, const char*> rows[] = {{0, "0:00"},
                                                   {7.999, "0:07"},
                                                   {59.9, "0:59"},
                                                   {754, "12:34"},
                                                   {3600, "1:00:00"},
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
