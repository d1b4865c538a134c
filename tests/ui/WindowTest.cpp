// The window over a real session in each phase: what can be pressed, what is
// shown, its keys, quitting and sleeping while a stream runs, captures
// written through the real dialog, and the pictures kept for the README.
#include "Messages.h"
#include "SessionRig.h"
#include "WindowFixture.h"
#include "desktop/SettingsStore.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;
using Window = WindowFixture;

void trigger(QObject* action) {
    ASSERT_TRUE(QMetaObject::invokeMethod(action, "trigger"));
}

TEST_F(Window, IdleShowsTheMarkAndGreysDisabledButtonsWhole) {
    launch(Headset::NeverAnswers);
    EXPECT_EQ(item("contentView")->size(), QSizeF(1000, 720)); // the menu bar comes on top
    EXPECT_TRUE(shown("headsetMark"));
    for (const char* hidden :
         {"spinner", "liveBadge", "errorBox", "captureNotice", "streamTimer"}) {
        EXPECT_FALSE(shown(hidden)) << hidden;
    }
    // A saved address means the user is about to press Stream, not type.
    EXPECT_FALSE(item("addressField")->hasActiveFocus());
    const QImage shot = screenshot("idle");
    // Black apart from the glyph and two lines of text.
    const double lit = litShare(shot, videoRect().adjusted(20, 20, -20, -20));
    EXPECT_GT(lit, 0.001);
    EXPECT_LT(lit, 0.08);
    // Icon included: nothing in a disabled button is as dark as a label that can be pressed.
    for (const char* name : {"recordButton", "screenshotButton", "endButton"}) {
        EXPECT_FALSE(enabled(name)) << name;
        EXPECT_EQ(litShare(shot, pixelRect(name), 120), 1.0) << name;
    }
}

TEST_F(Window, ReturnConnectsOnceAnAddressIsTyped) {
    platform.reduceMotion = true;
    launch(Headset::NeverAnswers, QString());
    EXPECT_TRUE(item("addressField")->hasActiveFocus());
    type("  ");
    EXPECT_FALSE(enabled("streamButton"));
    EXPECT_FALSE(enabled("startAction"));
    QTest::keyClick(&window(), Qt::Key_Return);
    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier);
    QTest::qWait(200);
    EXPECT_EQ(session().phase(), Phase::Idle);

    QTest::keyClick(&window(), Qt::Key_A, Qt::ControlModifier);
    type("127.0.0.1");
    QTest::keyClick(&window(), Qt::Key_Return);
    ASSERT_TRUE(waitForPhase(Phase::Connecting));
    // Reduced motion: the placeholder is at once at its final opacity.
    EXPECT_DOUBLE_EQ(item("placeholder")->opacity(), 1.0);
    EXPECT_TRUE(shown("spinner"));
    EXPECT_FALSE(shown("headsetMark"));
    EXPECT_FALSE(enabled("addressField"));
    EXPECT_FALSE(enabled("streamButton"));
    screenshot("connecting");
    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_TRUE(enabled("addressField"));
}

// Answers the open save dialog with `path`, typed into its name field.
bool answerSaveDialog(const QString& path) {
    QFileDialog* dialog = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<QFileDialog*>(w);
                dialog = d && d->isVisible() ? d : dialog;
            }
            return dialog != nullptr;
        },
        5000);
    auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
    return name && (name->setText(path), QMetaObject::invokeMethod(dialog, "accept"));
}

TEST_F(Window, StreamingShowsThePictureCapturesItAndEndClearsIt) {
    launch(Headset::Streams);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString();
    ASSERT_TRUE(waitForPictures(10));
    EXPECT_TRUE(shown("liveBadge"));
    EXPECT_FALSE(shown("placeholder"));
    EXPECT_EQ(text("networkText"), "1280 \u00d7 720");
    QImage shot = screenshot("streaming");
    // testsrc2's bars and moving shapes, fitted: mostly lit.
    EXPECT_GT(litShare(shot, videoRect().adjusted(40, 40, -40, -40)), 0.5);

    QTemporaryDir out;
    const auto layout = [&] {
        return QList<QRect>{pixelRect("recordButton"), pixelRect("screenshotButton"), videoRect()};
    };
    const QList<QRect> withoutNotice = layout();
    click("recordButton");
    ASSERT_TRUE(answerSaveDialog(out.filePath("clip.mp4")));
    ASSERT_TRUE(waitFor([&] { return session().recordingStartedAt().isValid(); }, 5000));
    screenshot("recording");
    QTest::qWait(1500);
    click("recordButton");
    ASSERT_TRUE(waitFor([&] { return shown("captureNotice"); })) << session().error().toStdString();
    // The notice moves neither the buttons (a second click lands on the same one) nor the picture.
    EXPECT_EQ(layout(), withoutNotice);
    QFile mp4(out.filePath("clip.mp4"));
    ASSERT_TRUE(mp4.open(QIODevice::ReadOnly));
    EXPECT_EQ(mp4.read(8).mid(4), "ftyp");

    // A long name: one line, cut in the middle.
    window().resize(680, window().height());
    click("screenshotButton");
    const QString picture = out.filePath(QString(120, 'p') + ".png");
    ASSERT_TRUE(answerSaveDialog(picture));
    ASSERT_TRUE(waitFor([&] { return text("captureNoticeText").startsWith("Screenshot saved"); }));
    // Cut once the row is laid out again, with the next frame.
    EXPECT_TRUE(
        waitFor([&] { return object("captureNoticeText")->property("truncated").toBool(); }));
    EXPECT_EQ(object("captureNoticeText")->property("lineCount").toInt(), 1);
    EXPECT_EQ(QImage(picture).size(), QSize(1280, 720));
    screenshot("capture-notice");
    click("dismissNoticeButton");
    EXPECT_FALSE(shown("captureNotice"));

    // The statistics overlay from its menu command: figures that follow the
    // pictures, a graph, off the picture's centre, remembered, gone again.
    QObject* statistics = object("statisticsAction");
    trigger(statistics);
    ASSERT_TRUE(shown("statsOverlay"));
    EXPECT_EQ(QtSettingsStore().string("showStatistics"), "true");
    const auto figures = [&] {
        return text("statisticsValues");
    };
    ASSERT_TRUE(waitFor([&] { return figures().section(' ', 0, 0).toDouble() > 5; }, 5000))
        << figures().toStdString();
    const QString before = figures();
    EXPECT_TRUE(waitFor([&] { return figures() != before; }, 3000));
    EXPECT_FALSE(pixelRect("statsOverlay").contains(videoRect().center()));
    EXPECT_GT(litShare(screenshot("statistics-overlay"), pixelRect("intervalGraph"), 150), 0.02);
    trigger(statistics);
    EXPECT_FALSE(shown("statsOverlay"));
    EXPECT_EQ(QtSettingsStore().string("showStatistics"), "false");

    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_TRUE(waitFor([&] { return !shown("liveBadge"); }, 2000));
    shot = screenshot("ended"); // the picture went with the stream
    EXPECT_LT(litShare(shot, videoRect().adjusted(20, 20, -20, -20)), 0.08);
}

TEST_F(Window, AFailureIsShownUntilDismissed) {
    launch(Headset::RefusesConnection);
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }));
    EXPECT_EQ(session().phase(), Phase::Idle);
    EXPECT_EQ(text("errorText"), qs(Messages::connectionRefused));
    EXPECT_TRUE(object("errorText")->property("selectByMouse").toBool()); // can be copied
    screenshot("error");
    click("dismissErrorButton");
    EXPECT_FALSE(shown("errorBox"));
    EXPECT_TRUE(session().error().isEmpty());
}

TEST_F(Window, TheLongestErrorWrapsInsideANarrowWindow) {
    auto owned = std::make_unique<TestClock>();
    TestClock& time = *owned;
    clock = std::move(owned);
    launch(Headset::StartsCapture);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    window().resize(680, 700);
    time.advance(21); // no picture: the first-picture watchdog ends the run
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }, 5000));
    EXPECT_EQ(text("errorText"), qs(SessionMessages::noVideoArrived));
    EXPECT_LE(item("errorBox")->width(), window().width());
    const QQuickItem* errorText = item("errorText");
    const double oneLine = 1.5 * errorText->property("font").value<QFont>().pixelSize();
    EXPECT_TRUE(waitFor([&] { return errorText->height() > oneLine; }, 2000));
    screenshot("error-wrapped");
}

TEST_F(Window, QuitWaitsForTheStreamToStop) {
    launch(Headset::SlowToStop);
    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier); // keys work outside the menu
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    EXPECT_FALSE(enabled("startAction"));
    QSignalSpy approved(&app(), &VistrelApp::terminationApproved);
    window().close();
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(session().phase(), Phase::Stopping);
    EXPECT_FALSE(enabled("endButton"));
    EXPECT_TRUE(enabled("endAction")); // choosing it again changes nothing
    trigger(object("endAction"));
    trigger(object("quitAction")); // a second request waits the same way
    screenshot("stopping");
    EXPECT_EQ(session().phase(), Phase::Stopping);
    EXPECT_EQ(approved.count(), 0);
    ASSERT_TRUE(waitFor([&] { return approved.count() > 0; }, 15000));
    EXPECT_EQ(session().phase(), Phase::Idle);
    const auto answered = approved.count();
    window().close(); // idle: at once
    EXPECT_EQ(approved.count(), answered + 1);
}

TEST_F(Window, GoingToSleepEndsTheStream) {
    QProcess daemon; // a private message bus on which the test plays logind
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForReadyRead(5000)) << "dbus-daemon (package dbus) did not start";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection logind = QDBusConnection::connectToBus(address, "test-logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    platform.sleepBus = QDBusConnection::connectToBus(address, "test-app");
    launch(Headset::StartsCapture);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    for (const bool sleeping : {false, true}) { // waking up changes nothing
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        ASSERT_TRUE(logind.send(signal << sleeping));
        EXPECT_EQ(waitForPhase(Phase::Idle, sleeping ? 15000 : 500), sleeping);
    }
    EXPECT_TRUE(session().error().isEmpty());
    QDBusConnection::disconnectFromBus("test-logind");
    QDBusConnection::disconnectFromBus("test-app");
    daemon.terminate();
    daemon.waitForFinished(5000);
}

TEST_F(Window, FullScreenRestoresMaximisedAndOpensOnDoubleClick) {
    launch(Headset::NeverAnswers);
    window().showMaximized();
    for (const auto state : {QWindow::FullScreen, QWindow::Maximized}) {
        trigger(object("fullScreenAction"));
        EXPECT_TRUE(waitFor([&] { return window().visibility() == state; }, 3000)) << state;
    }
    QTest::mouseDClick(&window(), Qt::LeftButton, {},
                       videoRect().center()); // also without a picture
    EXPECT_TRUE(waitFor([&] { return window().visibility() == QWindow::FullScreen; }, 3000));
}

TEST_F(Window, SettingsSaveTheUserNameWhileIdleAndTakeTheMenuKeys) {
    launch(Headset::NeverAnswers);
    QTest::keyClick(&window(), Qt::Key_Comma, Qt::ControlModifier);
    auto* settings = qobject_cast<QQuickWindow*>(object("settingsWindow"));
    ASSERT_TRUE(settings && QTest::qWaitForWindowExposed(settings));
    auto* field = qobject_cast<QQuickItem*>(object("usernameField"));
    field->forceActiveFocus();
    QTest::keyClick(settings, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(settings, Qt::Key_Backspace);
    EXPECT_EQ(QtSettingsStore().string("sshUsername").value_or("absent"), ""); // saved at once
    for (const char c : std::string_view("deck")) {
        QTest::keyClick(settings, c);
    }
    EXPECT_EQ(QtSettingsStore().string("sshUsername").value_or(""), "deck");
    auto* keepMoving = qobject_cast<QQuickItem*>(object("keepPictureMovingButton"));
    ASSERT_TRUE(keepMoving);
    const QPointF centre = keepMoving->mapToScene(keepMoving->boundingRect().center());
    QTest::mouseClick(settings, Qt::LeftButton, {}, centre.toPoint());
    EXPECT_EQ(QtSettingsStore().string("lossPolicy").value_or(""), "keepMoving");
    EXPECT_EQ(session().lossPolicy(), LossPolicy::KeepMoving);
    QTest::qWait(300);
    screenshot("settings-main");
    settings->grabWindow().save(artefactDir() + "/settings.png");

    QTest::keyClick(settings, Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(waitForPhase(Phase::Connecting));
    EXPECT_FALSE(field->isEnabled());
    QTest::keyClick(settings, Qt::Key_Period, Qt::ControlModifier);
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_TRUE(field->isEnabled());
}

} // namespace
} // namespace vistrel::test
