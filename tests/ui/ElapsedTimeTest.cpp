#include "ui/ElapsedTime.h"

#include <gtest/gtest.h>
#include <limits>

namespace vistrel {
namespace {

struct Case {
    double seconds;
    const char* expected;
};

TEST(ElapsedTime, MinutesAndSecondsThenHours) {
    const Case cases[] = {
        {0, "0:00"},
        {7, "0:07"},
        {7.999, "0:07"}, // a second is shown only once it has passed
        {59.9, "0:59"},
        {60, "1:00"},
        {754, "12:34"},
        {3599, "59:59"},
        {3600, "1:00:00"},
        {3723, "1:02:03"},
        {36000 + 59 * 60 + 59, "10:59:59"},
        {100 * 3600 + 5, "100:00:05"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ElapsedTime::format(c.seconds).toStdString(), c.expected) << c.seconds;
    }
}

TEST(ElapsedTime, ImpossibleSpansReadAsZeroOrStayBounded) {
    EXPECT_EQ(ElapsedTime::format(-3).toStdString(), "0:00");
    EXPECT_EQ(ElapsedTime::format(std::numeric_limits<double>::quiet_NaN()).toStdString(), "0:00");
    EXPECT_EQ(ElapsedTime::format(-std::numeric_limits<double>::infinity()).toStdString(), "0:00");
    // Far beyond any stream: no overflow, still hours, minutes and seconds.
    const QString huge = ElapsedTime::format(std::numeric_limits<double>::max());
    EXPECT_TRUE(huge.endsWith(":00:00")) << huge.toStdString();
}

} // namespace
} // namespace vistrel
