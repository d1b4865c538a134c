#include "PrivateBus.h"
#include "SessionRig.h"
#include "desktop/ActivityInhibitor.h"

namespace vistrel::test {
namespace {

TEST(LogindInhibitor, AsksForAnIdleBlockAndASleepDelayNeverASleepBlock) {
    PrivateBus bus;
    LogindInhibitor inhibitor(bus.app, bus.app); // the one bus plays both
    auto idle = inhibitor.preventIdleSleep("Streaming");
    auto delay = inhibitor.delaySleep("Streaming");
    ASSERT_TRUE(waitFor([&] { return bus.logind.calls.size() == 3; }));
    const QString manager = "org.freedesktop.login1.Manager.Inhibit";
    const QVariantMap portalOptions{{"handle_token", bus.logind.requests.at(0).section('/', -1)},
                                    {"reason", "Streaming"}};
    EXPECT_EQ(bus.logind.calls,
              (std::vector<QVariantList>{
                  {manager, "idle", "Vistrel", "Streaming", "block"},
                  {"org.freedesktop.portal.Inhibit.Inhibit", "", 8U, portalOptions}, // 8: idle
                  {manager, "sleep", "Vistrel", "Streaming", "delay"}}));
    delay.reset();
    EXPECT_TRUE(waitFor([&] { return bus.logind.released("sleep"); }));
    EXPECT_FALSE(bus.logind.released("idle"));
    idle.reset();
    EXPECT_TRUE(
        waitFor([&] { return bus.logind.released("idle") && bus.logind.calls.size() == 4; }));
    EXPECT_EQ(bus.logind.calls.back(),
              (QVariantList{"org.freedesktop.portal.Request.Close", bus.logind.requests.at(0)}));
}

} // namespace
} // namespace vistrel::test
