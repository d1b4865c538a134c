// The main window in each phase of a real session: what it says, what can be
// pressed, what a screen reader hears and what the picture looks like.
#include "Messages.h"
#include "QtText.h"
#include "WindowFixture.h"

#include <QRegularExpression>
#include <QTest>

namespace vistrel::test {
namespace {

using Behaviour = HeadsetStandIn::Behaviour;
using Phase = StreamSession::Phase;

bool looksElapsed(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^\\d{1,2}:\\d\\d$"));
    return pattern.match(text).hasMatch();
}

class MainWindow : public WindowFixture {};

TEST_F(MainWindow, IdleInvitesAnAddress) {
    launch(Behaviour::NeverAnswers);

    EXPECT_EQ(window().title(), "Vistrel");
    EXPECT_EQ(item("contentView")->size(), QSizeF(1000, 720)); // the menu bar comes on top
    EXPECT_EQ(window().minimumWidth(), 680);
    EXPECT_GE(window().minimumHeight(), 620);
    EXPECT_EQ(text("statusText"), "Ready to connect");
    EXPECT_EQ(text("placeholderTitle"), "A window into your Steam Frame");
    EXPECT_EQ(text("placeholderSubtitle"), "Enter its local IP address below, then press Stream.");
    EXPECT_TRUE(shown("headsetMark"));
    for (const char* hidden :
         {"spinner", "liveBadge", "errorBox", "captureNotice", "streamTimer", "fullScreenButton"}) {
        EXPECT_FALSE(shown(hidden)) << hidden;
    }
    EXPECT_EQ(text("networkText"), "Local network");
    EXPECT_TRUE(shown("transportText"));
    EXPECT_EQ(text("addressField"), "127.0.0.1");
    EXPECT_TRUE(enabled("addressField"));
    EXPECT_TRUE(enabled("streamButton"));
    EXPECT_EQ(text("recordButton"), "Record");
    EXPECT_EQ(accessibleName("videoArea"), "Video preview");
    EXPECT_EQ(accessibleName("addressField"), "Steam Frame IP address");
    EXPECT_EQ(accessibleName("statusIndicator"), "Ready to connect");
    // A saved address means the user is about to press Stream, not type.
    EXPECT_FALSE(item("addressField")->hasActiveFocus());

    const QImage shot = screenshot("idle");
    const QRect video = videoRect();
    // The video area is black apart from the glyph and the two lines of text.
    const double lit = litShare(shot, video.adjusted(20, 20, -20, -20));
    EXPECT_GT(lit, 0.001);
    EXPECT_LT(lit, 0.08);
    // Disabled buttons grey as a whole, icon included: nothing in them is as
    // dark as a label that can be pressed.
    for (const char* name : {"recordButton", "screenshotButton", "endButton"}) {
        EXPECT_FALSE(enabled(name)) << name;
        EXPECT_EQ(litShare(shot, pixelRect(name), 120), 1.0) << name;
    }
}

TEST_F(MainWindow, WithoutAnAddressTheFieldHasFocusAndReturnDoesNothing) {
    launch(Behaviour::NeverAnswers, QString());

    EXPECT_TRUE(item("addressField")->hasActiveFocus());
    EXPECT_FALSE(enabled("streamButton"));
    QTest::keyClick(&window(), Qt::Key_Space);
    QTest::keyClick(&window(), Qt::Key_Space);
    EXPECT_EQ(session().host(), "  ");
    EXPECT_FALSE(enabled("streamButton"));
    QTest::keyClick(&window(), Qt::Key_Return);
    QTest::qWait(200);
    EXPECT_EQ(session().phase(), Phase::Idle);
    EXPECT_TRUE(text("statusText") == "Ready to connect");
}

TEST_F(MainWindow, TypingAnAddressAndPressingReturnConnects) {
    launch(Behaviour::NeverAnswers, QString());

    for (const char c : std::string_view("127.0.0.1")) {
        QTest::keyClick(&window(), c);
    }
    EXPECT_EQ(session().host(), "127.0.0.1");
    EXPECT_TRUE(enabled("streamButton"));
    QTest::keyClick(&window(), Qt::Key_Return);
    ASSERT_TRUE(waitForPhase(Phase::Connecting));

    EXPECT_EQ(text("statusText"), "Connecting");
    EXPECT_EQ(text("placeholderTitle"), "Connecting to your headset");
    EXPECT_EQ(text("placeholderSubtitle"),
              "Approve the SSH connection or enter your password if prompted.");
    EXPECT_TRUE(shown("spinner"));
    EXPECT_FALSE(shown("headsetMark"));
    EXPECT_FALSE(enabled("addressField"));
    EXPECT_FALSE(enabled("streamButton"));
    EXPECT_TRUE(enabled("endButton"));
    EXPECT_EQ(text("networkText"), "Local network");
    EXPECT_TRUE(shown("transportText"));
    EXPECT_EQ(accessibleName("statusIndicator"), "Connecting");
    screenshot("connecting");

    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_EQ(text("statusText"), "Ready to connect");
    EXPECT_TRUE(enabled("addressField"));
}

TEST_F(MainWindow, WaitingForTheFirstPicture) {
    launch(Behaviour::StartsCapture);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));

    EXPECT_EQ(text("statusText"), "Waiting for video");
    EXPECT_EQ(text("placeholderTitle"), "Your stream is starting");
    EXPECT_EQ(text("placeholderSubtitle"), "Connected. Waiting for the first video frame.");
    EXPECT_TRUE(shown("spinner"));
    EXPECT_FALSE(enabled("recordButton"));
    EXPECT_FALSE(enabled("screenshotButton"));
    EXPECT_TRUE(enabled("endButton"));
}

TEST_F(MainWindow, StreamingShowsTheLivePicture) {
    launch(Behaviour::Streams);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString();
    // A few more pictures, so that the one on screen is a steady one.
    const auto shownBefore = session().display()->shownCount();
    ASSERT_TRUE(waitFor([&] { return session().display()->shownCount() > shownBefore + 10; }));

    EXPECT_EQ(text("statusText"), "Live");
    EXPECT_TRUE(shown("liveBadge"));
    EXPECT_FALSE(shown("placeholder"));
    EXPECT_EQ(text("networkText"), QStringLiteral("1280 \u00d7 720"));
    EXPECT_FALSE(shown("transportText"));
    EXPECT_TRUE(shown("streamTimer"));
    EXPECT_TRUE(looksElapsed(text("streamTimer"))) << text("streamTimer").toStdString();
    EXPECT_TRUE(shown("fullScreenButton"));
    EXPECT_EQ(accessibleName("fullScreenButton"), "Full Screen");
    EXPECT_EQ(accessibleName("videoArea"), "Live Steam Frame video");
    EXPECT_EQ(accessibleName("statusIndicator"), "Live");
    EXPECT_TRUE(enabled("recordButton"));
    EXPECT_TRUE(enabled("screenshotButton"));
    EXPECT_FALSE(enabled("addressField"));
    EXPECT_FALSE(enabled("streamButton"));
    EXPECT_TRUE(enabled("endButton"));

    // The timer counts on its own, without any change of the session.
    const QString before = text("streamTimer");
    ASSERT_TRUE(waitFor([&] { return text("streamTimer") != before; }, 3000));

    const QImage shot = screenshot("streaming");
    const QRect video = videoRect();
    // testsrc2 fills a 16:9 picture with colour bars and moving shapes; the
    // area shows it fitted, so most of the area is lit and many colours show.
    EXPECT_GT(litShare(shot, video.adjusted(40, 40, -40, -40)), 0.5);
    EXPECT_GT(colourCount(shot, video), 30);

    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_EQ(text("networkText"), "Local network");
    EXPECT_TRUE(shown("transportText"));
    EXPECT_TRUE(shown("headsetMark"));
    // The badge fades out with the phase change.
    EXPECT_TRUE(waitFor([&] { return !shown("liveBadge"); }, 2000));
    // The picture is gone with the stream: the area is black again.
    const QImage after = screenshot("ended");
    EXPECT_LT(litShare(after, videoRect().adjusted(20, 20, -20, -20)), 0.08);
}

TEST_F(MainWindow, EndingTheStream) {
    launch(Behaviour::SlowToStop);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Stopping));

    EXPECT_EQ(text("statusText"), "Ending stream");
    EXPECT_EQ(text("placeholderTitle"), "Ending your stream");
    EXPECT_EQ(text("placeholderSubtitle"),
              "Stopping video capture on the headset and disconnecting.");
    EXPECT_TRUE(shown("spinner"));
    EXPECT_FALSE(enabled("endButton"));
    EXPECT_TRUE(object("endAction")->property("enabled").toBool());
    EXPECT_FALSE(enabled("addressField"));
    EXPECT_FALSE(enabled("streamButton"));
    screenshot("stopping");

    ASSERT_TRUE(waitForPhase(Phase::Idle, 15000));
    EXPECT_TRUE(enabled("streamButton"));
    EXPECT_FALSE(shown("errorBox"));
}

TEST_F(MainWindow, AFailureIsShownUntilDismissed) {
    launch(Behaviour::RefusesConnection);
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }));
    EXPECT_EQ(session().phase(), Phase::Idle);

    EXPECT_EQ(text("errorText"), qs(Messages::connectionRefused));
    EXPECT_EQ(accessibleName("dismissErrorButton"), "Dismiss error");
    // The message can be selected for copying.
    EXPECT_TRUE(object("errorText")->property("selectByMouse").toBool());
    EXPECT_TRUE(object("errorText")->property("readOnly").toBool());

    const QImage shot = screenshot("error");
    const QQuickItem* box = item("errorBox");
    const QRectF r = box->mapRectToScene(QRectF(2, 2, 6, 6));
    const QColor tint = shot.pixelColor(r.center().toPoint());
    // A faint orange: red above blue on the light background.
    EXPECT_GT(tint.red(), tint.blue() + 5) << tint.name().toStdString();

    click("dismissErrorButton");
    EXPECT_FALSE(shown("errorBox"));
    EXPECT_TRUE(session().error().isEmpty());
}

TEST_F(MainWindow, AnInvalidAddressIsRejectedInTheErrorBox) {
    launch(Behaviour::NeverAnswers, QStringLiteral("frame.local"));
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }));
    EXPECT_EQ(text("errorText"), qs(Messages::invalidAddress));
    EXPECT_EQ(text("statusText"), "Ready to connect");
}

TEST_F(MainWindow, LongErrorsWrapInsideThePanel) {
    launch(Behaviour::StartsCapture);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    window().resize(680, 700);
    // No picture ever comes: the first-picture watchdog ends the run with
    // the longest message the window shows.
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }, 40000));
    EXPECT_EQ(text("errorText"), qs(Messages::noVideoArrived));
    const QQuickItem* box = item("errorBox");
    const QQuickItem* errorText = item("errorText");
    EXPECT_LE(box->width(), window().width());
    // More than one line: the message wrapped instead of running off the side.
    // The box appears before the text is laid out at its new width, so give
    // the layout its next passes.
    const double oneLine = 1.5 * errorText->property("font").value<QFont>().pixelSize();
    EXPECT_TRUE(waitFor([&] { return errorText->height() > oneLine; }, 2000))
        << "height " << errorText->height() << " against one line of " << oneLine;
    screenshot("error-wrapped");
}

TEST_F(MainWindow, TheVideoFollowsTheWindowSizeAtOnce) {
    launch(Behaviour::NeverAnswers);
    const QQuickItem* output = item("videoOutput");
    const QQuickItem* area = item("videoArea");
    for (const QSize size : {QSize(680, 700), QSize(1400, 900), QSize(1000, 720)}) {
        window().resize(size);
        // The area takes the new width in the window's next layout pass...
        ASSERT_TRUE(waitFor([&] { return area->width() == size.width() - 40.0; }, 3000));
        // ...and the picture's surface in that same pass, without animation.
        EXPECT_DOUBLE_EQ(output->width(), area->width()) << size.width();
        EXPECT_DOUBLE_EQ(output->height(), area->height()) << size.width();
        EXPECT_GE(area->height(), 280);
    }
}

TEST_F(MainWindow, ReduceMotionSwitchesWithoutAnimation) {
    launch(Behaviour::NeverAnswers, "127.0.0.1", true);
    EXPECT_EQ(object("contentView")->property("phaseAnimation").toInt(), 0);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Connecting));
    // Without animation the placeholder is already at its final opacity.
    EXPECT_DOUBLE_EQ(item("placeholder")->opacity(), 1.0);
}

TEST_F(MainWindow, PhaseChangesAnimateByDefault) {
    launch(Behaviour::NeverAnswers);
    EXPECT_EQ(object("contentView")->property("phaseAnimation").toInt(), 180);
}

} // namespace
} // namespace vistrel::test
