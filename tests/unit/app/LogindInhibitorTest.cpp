// Without a system bus (build machines, containers) holding off sleep must
// quietly do nothing rather than fail the start of a stream.
#include "desktop/ActivityInhibitor.h"

#include <gtest/gtest.h>

TEST(LogindInhibitor, WithoutASystemBusAHoldIsStillGiven) {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vistrel-test-bus");
    vistrel::LogindInhibitor inhibitor;
    auto first = inhibitor.begin(QStringLiteral("Receiving live Steam Frame video"));
    auto second = inhibitor.begin(QStringLiteral("Receiving live Steam Frame video"));
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    first.reset();
    second.reset();
}
