// The window's pure logic, no display needed: the command line past Qt's own
// options, elapsed-time text and the desktop portal's motion setting.
#include "CommandLine.h"
#include "desktop/MotionPreference.h"
#include "ui/ElapsedTime.h"

#include <QDBusVariant>
#include <gtest/gtest.h>
#include <limits>

namespace vistrel {
namespace {

TEST(CommandLine, ReadsTheAddressPastQtsOwnOptions) {
    using CommandLine::Action;
    const struct {
        QStringList arguments;
        Action action;
        QString address;
    } rows[] = {
        {{}, Action::Run, {}},
        {{"-platform", "xcb", "192.168.4.10", "--style=Fusion", "-reverse"},
         Action::Run,
         "192.168.4.10"},
        {{"--qwindowgeometry", "800x600", "-h"}, Action::Help, {}},
        {{"-v"}, Action::Version, {}},
        {{"-reverse=1"}, Action::Invalid, {}},
        {{"--", "-1.2.3.4"}, Action::Run, "-1.2.3.4"},
        {{"--stream", "192.168.4.10"}, Action::Invalid, {}},
    };
    for (const auto& row : rows) {
        const auto request = CommandLine::parse(QStringList{"vistrel"} + row.arguments);
        const std::string what = row.arguments.join(' ').toStdString();
        EXPECT_EQ(request.action, row.action) << what;
        EXPECT_EQ(request.address, row.address) << what;
        EXPECT_EQ(request.problem.isEmpty(), row.action != Action::Invalid) << what;
    }
}

TEST(ElapsedTime, WholeSecondsPassedThenHoursAndNothingImpossible) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double seconds;
        const char* text;
    } rows[] = {{0, "0:00"},
                {7.999, "0:07"},
                {59.9, "0:59"},
                {754, "12:34"},
                {3599, "59:59"},
                {3600, "1:00:00"},
                {3723, "1:02:03"},
                {360005, "100:00:05"},
                {-3, "0:00"},
                {nan, "0:00"},
                {-std::numeric_limits<double>::infinity(), "0:00"}};
    for (const auto& row : rows) {
        EXPECT_EQ(ElapsedTime::format(row.seconds).toStdString(), row.text) << row.seconds;
    }
    // Far beyond any stream: no overflow, still hours, minutes and seconds.
    EXPECT_TRUE(ElapsedTime::format(std::numeric_limits<double>::max()).endsWith(":00:00"));
}

TEST(MotionPreference, ReadsThePortalsAnswerAtAnyWrapping) {
    const auto wrapped = [](QVariant v, int depth) {
        for (int i = 0; i < depth; ++i) {
            v = QVariant::fromValue(QDBusVariant(v));
        }
        return v;
    };
    for (int depth = 0; depth <= 2; ++depth) {
        EXPECT_TRUE(MotionPreference::reduceMotionFromReply(wrapped(false, depth))) << depth;
        EXPECT_FALSE(MotionPreference::reduceMotionFromReply(wrapped(true, depth))) << depth;
        EXPECT_FALSE(MotionPreference::reduceMotionFromReply(wrapped("false", depth))) << depth;
    }
    EXPECT_FALSE(MotionPreference::reduceMotionFromReply(QVariant()));
    EXPECT_FALSE(MotionPreference::reduceMotion(QDBusConnection(QString())));
}

} // namespace
} // namespace vistrel
