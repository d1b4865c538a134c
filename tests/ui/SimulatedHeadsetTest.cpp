// The whole road with nothing standing in, and the README's picture: the real
// window, SSH client and askpass helper, and the simulated headset's sshd,
// remote script and ffmpeg. A person types the address and presses Return.
#include "DatagramLoss.h"
#include "HeadsetSimulator.h"
#include "HeadsetStream.h"
#include "WindowFixture.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;
using SimulatedHeadset = WindowFixture;

TEST_F(SimulatedHeadset, TypingTheAddressShowsTheLivePictureAndEndStopsTheHeadset) {
    if (const std::string reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    HeadsetSimulator headset;
    // Log in with the simulator's key through its agent, trusting its host key
    // as a user would have on the first connection.
    for (const auto& [name, value] : headset.agentEnvironment()) {
        qputenv(name.c_str(), QByteArray::fromStdString(value));
    }
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Vistrel";
    QDir().mkpath(folder);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile knownHosts(folder + "/known_hosts");
    ASSERT_TRUE(knownHosts.open(QIODevice::WriteOnly | QIODevice::Truncate));
    knownHosts.write(QByteArray::fromStdString(headset.knownHostsLine() + "\n"));
    knownHosts.close();

    SessionServices services = SessionServices::system();
    services.applicationDir = VISTREL_BINARY_DIR "/src/app/shell"; // this build's askpass helper
    // A free port instead of 8090, so that other runs on this machine do not collide.
    services.port = freeUdpPort();
    const std::uint16_t port = services.port;
    launchWith(std::move(services), QString());
    type(QString::fromStdString(headset.headsetAddress()));
    QTest::keyClick(&window(), Qt::Key_Return);
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString() << "\n"
                                                       << session().diagnostics().toStdString();
    ASSERT_TRUE(waitForPictures(10));
    EXPECT_EQ(text("networkText"), "1280 \u00d7 720");
    const QImage shot = screenshot("simulated-headset");
    EXPECT_GT(litShare(shot, videoRect().adjusted(40, 40, -40, -40)), 0.5);

    // The statistics overlay, by its key, once some seconds of pictures are in
    // its graph, while 1 % of the datagrams are lost and the picture keeps
    // moving: the overlay counts the pictures shown with concealed parts.
    session().setLossPolicy(LossPolicy::KeepMoving);
    const DatagramLoss loss(headset.linkName(), port, 10);
    QTest::keyClick(&window(), Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(this->shown("statsOverlay"));
    const auto before = session().picturesShown();
    EXPECT_TRUE(waitFor([&] { return session().picturesShown() > before + 120; })); // 6 s
    const QString concealed = text("statisticsValues").split('\n').value(6);        // "Concealed"
    EXPECT_FALSE(concealed.startsWith("0 ")) << concealed.toStdString();
    screenshot("statistics");

    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle, 15000));
    EXPECT_TRUE(session().error().isEmpty()) << session().error().toStdString();
    EXPECT_TRUE(headset.waitUntilGone("ffmpeg", std::chrono::seconds(10)));
}

} // namespace
} // namespace vistrel::test
