#include "Messages.h"
#include "PrivateBus.h"
#include "WindowFixture.h"
#include "desktop/SettingsStore.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"
#include "ui/Labels.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>

namespace vistrel::test {
namespace {

using Window = WindowFixture;

// Share of pixels in `rect` whose brightest channel exceeds 40.
double litShare(const QImage& image, const QRect& rect) {
    const QRect r = rect.intersected(image.rect());
    qint64 lit = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            lit += std::max({c.red(), c.green(), c.blue()}) > 40 ? 1 : 0;
        }
    }
    return r.isEmpty() ? 0.0 : double(lit) / (double(r.width()) * r.height());
}

void trigger(QObject* action) {
    ASSERT_TRUE(QMetaObject::invokeMethod(action, "trigger"));
}

TEST_F(Window, StreamingShowsThePictureRecordsItAndEndClearsIt) {
    launch(Headset::Streams);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString();
    ASSERT_TRUE(waitForPictures(10));
    EXPECT_TRUE(shown("liveBadge"));
    EXPECT_FALSE(shown("placeholder"));
    EXPECT_EQ(text("networkText"), "1280 \u00d7 720");
    // testsrc2's bars and moving shapes, fitted: mostly lit.
    EXPECT_GT(litShare(screenshot("streaming"), videoRect().adjusted(40, 40, -40, -40)), 0.5);

    QTemporaryDir out;
    click("recordButton");
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor(
        [&] { return (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); }));
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(out.filePath("clip.mp4"));
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitFor([&] { return session().recordingStartedAt().isValid(); }, 5000));
    screenshot("recording");
    trigger(object("statisticsAction"));
    ASSERT_TRUE(shown("statsOverlay"));
    QTest::qWait(1500); // recording, and pictures in the statistics' graph
    screenshot("statistics");
    trigger(object("statisticsAction"));
    click("recordButton");
    ASSERT_TRUE(waitFor([&] { return shown("captureNotice"); })) << session().error().toStdString();
    EXPECT_GT(QFileInfo(out.filePath("clip.mp4")).size(), 0);
    // Nothing opens the folder: the window names it, to be copied.
    desktopOpens = false;
    click("showInFolderLink");
    EXPECT_TRUE(waitFor(
        [&] {
            return text("errorText") ==
                   qs(SessionMessages::folderNotShown(out.path().toStdString()));
        },
        3000));
    click("dismissErrorButton");

    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_TRUE(waitFor([&] { return !shown("liveBadge"); }, 2000));
    // The picture went with the stream.
    EXPECT_LT(litShare(screenshot("ended"), videoRect().adjusted(20, 20, -20, -20)), 0.08);
}

TEST_F(Window, AFailureIsShownUntilDismissed) {
    launch(Headset::RefusesConnection);
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }));
    EXPECT_EQ(session().phase(), Phase::Idle);
    EXPECT_EQ(text("errorText"), qs(Messages::connectionRefused));
    screenshot("error");
    // No browser takes the setup guide: the window says where it is.
    desktopOpens = false;
    click("setupGuideLink");
    EXPECT_EQ(text("errorText"),
              qs(SessionMessages::guideNotOpened(VISTREL_BINARY_DIR "/src/app/shell/Setup.html")));
    click("dismissErrorButton");
    EXPECT_FALSE(shown("errorBox"));
    EXPECT_TRUE(session().error().isEmpty());
}

TEST_F(Window, ReturnConnectsTheSpinnerWaitsForAPictureAndAnOldOneIsHeldUntilTheNext) {
    auto owned = std::make_unique<TestClock>();
    TestClock& time = *owned;
    services.clock = std::move(owned);
    platform.reduceMotion = true;
    launch(Headset::StartsCapture, QString());
    screenshot("idle");
    EXPECT_TRUE(item("addressField")->hasActiveFocus());
    type("  ");
    EXPECT_FALSE(enabled("streamButton"));
    QTest::keyClick(&window(), Qt::Key_Return);
    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier);
    QTest::qWait(200);
    EXPECT_EQ(session().phase(), Phase::Idle);

    QTest::keyClick(&window(), Qt::Key_A, Qt::ControlModifier);
    type("127.0.0.1");
    QTest::keyClick(&window(), Qt::Key_Return);
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    EXPECT_EQ(text("placeholderTitle"), Labels::waitingTitle());
    EXPECT_TRUE(shown("spinner"));
    EXPECT_FALSE(shown("headsetMark"));
    EXPECT_FALSE(enabled("addressField"));
    EXPECT_FALSE(enabled("streamButton"));
    session().receiver()->frameCallback()(makeNoise(320, 240, 1));
    ASSERT_TRUE(waitForPhase(Phase::Streaming));
    EXPECT_FALSE(shown("spinner"));
    EXPECT_EQ(text("badgeText"), Labels::liveBadge());
    time.advance(2);
    EXPECT_EQ(text("badgeText"), Labels::heldBadge());
    session().receiver()->frameCallback()(makeNoise(320, 240, 2));
    EXPECT_TRUE(waitFor([&] { return text("badgeText") == Labels::liveBadge(); }));
}

TEST_F(Window, QuitWaitsForTheStreamToStop) {
    launch(Headset::SlowToStop);
    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier); // keys work outside the menu
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    QSignalSpy approved(&app(), &VistrelApp::terminationApproved);
    window().close();
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(session().phase(), Phase::Stopping);
    EXPECT_FALSE(enabled("endButton"));
    trigger(object("endAction"));  // choosing it again changes nothing
    trigger(object("quitAction")); // a second request waits the same way
    EXPECT_EQ(session().phase(), Phase::Stopping);
    EXPECT_EQ(approved.count(), 0);
    ASSERT_TRUE(waitFor([&] { return approved.count() > 0; }, 15000));
    EXPECT_EQ(session().phase(), Phase::Idle);
    const auto answered = approved.count();
    window().close(); // idle: at once
    EXPECT_EQ(approved.count(), answered + 1);
}

TEST_F(Window, GoingToSleepEndsTheStreamWaitingOnlyUntilStopIsWritten) {
    PrivateBus bus;
    platform.sleepBus = bus.app;
    services.activity = std::make_unique<LogindInhibitor>(bus.app, QDBusConnection(QString()));
    launch(Headset::SlowToStop); // stays 3 s after STOP: sleep does not wait for that
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    // An idle block and a sleep delay, never a sleep block.
    ASSERT_TRUE(waitFor([&] { return bus.logind.calls.size() == 2; }));
    const QString manager = "org.freedesktop.login1.Manager.Inhibit";
    const QString why = qs(SessionMessages::activityReason);
    EXPECT_EQ(bus.logind.calls,
              (std::vector<QVariantList>{{manager, "idle", "Vistrel", why, "block"},
                                         {manager, "sleep", "Vistrel", why, "delay"}}));
    bus.announceSleep(false); // waking up changes nothing
    EXPECT_FALSE(waitForPhase(Phase::Stopping, 300));
    bus.announceSleep(true);
    ASSERT_TRUE(waitFor([&] { return bus.logind.released("sleep"); }));
    EXPECT_EQ(session().phase(), Phase::Stopping);
    EXPECT_FALSE(bus.logind.released("idle"));
    ASSERT_TRUE(waitForPhase(Phase::Idle, 15000));
    EXPECT_TRUE(waitFor([&] { return bus.logind.released("idle"); }));
    EXPECT_TRUE(session().error().isEmpty());
}

TEST_F(Window, TheSettingsChooseWhatALossDoes) {
    launch(Headset::NeverAnswers);
    QTest::keyClick(&window(), Qt::Key_Comma, Qt::ControlModifier);
    auto* settings = qobject_cast<QQuickWindow*>(object("settingsWindow"));
    ASSERT_TRUE(settings && QTest::qWaitForWindowExposed(settings));
    const QQuickItem* keepMoving = item("keepPictureMovingButton");
    QTest::mouseClick(settings, Qt::LeftButton, {},
                      keepMoving->mapToScene(keepMoving->boundingRect().center()).toPoint());
    EXPECT_EQ(QtSettingsStore().string("lossPolicy").value_or(""), "keepMoving");
    EXPECT_EQ(session().lossPolicy(), LossPolicy::KeepMoving);
    screenshot("settings", settings);
}

} // namespace
} // namespace vistrel::test
