// The whole road with nothing standing in: the real window, the real SSH
// client and askpass helper, and the simulated headset's sshd, remote script
// and ffmpeg. A person types the address, presses Return and sees the picture.
#include "HeadsetSimulator.h"
#include "WindowFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <iostream>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;

class SimulatedHeadset : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (const std::string reason = HeadsetSimulator::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        headset_ = std::make_unique<HeadsetSimulator>();
        // Log in with the simulator's key through its agent, and trust its
        // host key as a user would have on the first connection.
        for (const auto& [name, value] : headset_->agentEnvironment()) {
            qputenv(name.c_str(), QByteArray::fromStdString(value));
        }
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Vistrel";
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QFile knownHosts(folder + "/known_hosts");
        ASSERT_TRUE(knownHosts.open(QIODevice::WriteOnly | QIODevice::Truncate));
        knownHosts.write(QByteArray::fromStdString(headset_->knownHostsLine() + "\n"));
    }

    void TearDown() override {
        WindowFixture::TearDown();
        headset_.reset();
    }

    std::unique_ptr<HeadsetSimulator> headset_;
};

TEST_F(SimulatedHeadset, TypingTheAddressShowsTheLivePictureAndEndStopsTheHeadset) {
    SessionServices services = SessionServices::system();
    // The askpass helper of this build, next to the program as installed.
    services.applicationDir = QStringLiteral(VISTREL_BINARY_DIR "/src/app");
    // A free port instead of 8090, so that other runs on this machine do not collide.
    services.port = freeUdpPort();
    launchWith(std::move(services), QString());
    ASSERT_TRUE(item("addressField")->hasActiveFocus());

    for (const char c : headset_->headsetAddress()) {
        QTest::keyClick(&window(), c);
    }
    QElapsedTimer sinceReturn;
    QTest::keyClick(&window(), Qt::Key_Return);
    sinceReturn.start();
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString() << "\n"
                                                       << session().diagnostics().toStdString();
    // Seen, not asserted: the machine is shared and timing is noisy.
    std::cout << "first picture " << sinceReturn.elapsed() << " ms after Return\n";
    const auto shown = session().display()->shownCount();
    ASSERT_TRUE(waitFor([&] { return session().display()->shownCount() > shown + 10; }));

    EXPECT_EQ(text("statusText"), "Live");
    EXPECT_EQ(text("networkText"), QStringLiteral("1280 \u00d7 720"));
    const QImage shot = screenshot("simulated-headset");
    EXPECT_GT(litShare(shot, videoRect().adjusted(40, 40, -40, -40)), 0.5);
    EXPECT_GT(colourCount(shot, videoRect()), 30);
    EXPECT_FALSE(headset_->processes().empty());

    // The statistics overlay, by its key, once some seconds of pictures are in its graph.
    QTest::keyClick(&window(), Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(this->shown("statsOverlay"));
    EXPECT_TRUE(waitFor(
        [&] { return session().shownTimes().back() - session().shownTimes().front() > 6; }));
    screenshot("statistics");

    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle, 15000));
    EXPECT_TRUE(session().error().isEmpty()) << session().error().toStdString();
    // Ending the stream stopped the encoder on the headset too.
    EXPECT_TRUE(headset_->waitUntilGone("ffmpeg", std::chrono::seconds(10)));
}

} // namespace
} // namespace vistrel::test
