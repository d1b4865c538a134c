// The window over a real session in each phase: what can be pressed, what is
// shown, its keys and menus, quitting and sleeping while a stream runs, captures
// written through the real dialog, and the pictures kept for the README.
#include "Messages.h"
#include "PrivateBus.h"
#include "SessionRig.h"
#include "WindowFixture.h"
#include "desktop/SettingsStore.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"
#include "ui/Labels.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;
using Window = WindowFixture;

void trigger(QObject* action) {
    ASSERT_TRUE(QMetaObject::invokeMethod(action, "trigger"));
}

TEST_F(Window, IdleShowsTheMarkAndGreysDisabledButtonsWhole) {
    QtSettingsStore().setString("showStatistics", "true"); // but no stream runs
    launch(Headset::NeverAnswers);
    EXPECT_EQ(item("contentView")->size(), QSizeF(1000, 720)); // the menu bar comes on top
    EXPECT_TRUE(shown("headsetMark"));
    for (const char* hidden : {"spinner", "liveBadge", "errorBox", "captureNotice", "streamTimer",
                               "statsOverlay", "confirmation"}) {
        EXPECT_FALSE(shown(hidden)) << hidden;
    }
    EXPECT_FALSE(window().icon().pixmap(32).isNull()); // the bundled one: no theme has it here
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

// The item at `index` of a menu or the menu bar.
QQuickItem* entry(QObject* menu, int index) {
    QQuickItem* found = nullptr;
    QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, found), Q_ARG(int, index));
    return found;
}

TEST_F(Window, MenusShowTheirKeysMnemonicsWithAltAndOpenOnF10) {
    launch(Headset::NeverAnswers);
    const auto key = [&](int index) { // of the Stream menu's items
        return entry(object("streamMenu"), index)
            ->findChild<QObject*>("shortcutText")
            ->property("text");
    };
    EXPECT_EQ(key(0), "Ctrl+R");
    EXPECT_EQ(key(4), "Ctrl+Shift+S");
    EXPECT_EQ(key(8), ""); // Copy Diagnostics has none
    const auto title = [&] {
        return entry(object("menuBar"), 1)
            ->property("contentItem")
            .value<QQuickItem*>()
            ->property("text");
    };
    EXPECT_EQ(title(), "Stream");
    QTest::keyPress(&window(), Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(title(), "<u>S</u>tream");
    screenshot("menu-mnemonics");
    QTest::keyRelease(&window(), Qt::Key_Alt);
    EXPECT_EQ(title(), "Stream");
    QTest::keyClick(&window(), Qt::Key_F10);
    EXPECT_TRUE(waitFor([&] { return object("fileMenu")->property("opened").toBool(); }, 3000));
    QTest::keyClick(&window(), Qt::Key_Right); // on to the next menu, as the keyboard goes
    EXPECT_TRUE(waitFor([&] { return object("streamMenu")->property("opened").toBool(); }, 3000));
    screenshot("stream-menu");
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
    // Reduced motion: the placeholder is at once at its final opacity and words.
    EXPECT_DOUBLE_EQ(item("placeholder")->opacity(), 1.0);
    EXPECT_EQ(text("placeholderTitle"), Labels::connectingTitle());
    EXPECT_TRUE(shown("spinner"));
    EXPECT_FALSE(shown("headsetMark"));
    EXPECT_FALSE(enabled("addressField"));
    EXPECT_FALSE(enabled("streamButton"));
    screenshot("connecting");
    click("endButton");
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_TRUE(enabled("addressField"));
}

// The open save dialog, once it shows; null when none does.
QFileDialog* saveDialog() {
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
    return dialog;
}

// Answers the open save dialog with `path`, typed into its name field.
bool answerSaveDialog(const QString& path) {
    QFileDialog* dialog = saveDialog();
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

    // A long name: one line, cut in the middle, only once the row's free width is used.
    // Asked for from the settings window, the dialog is still the main window's.
    window().resize(680, window().height());
    window().requestActivate(); // Xvfb has no window manager to give it back after the dialog
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    QTest::keyClick(&window(), Qt::Key_Comma, Qt::ControlModifier);
    auto* settings = qobject_cast<QQuickWindow*>(object("settingsWindow"));
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == settings; }, 3000));
    QTest::keyClick(settings, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QFileDialog* dialog = saveDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowHandle()->transientParent(), &window());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    const QString picture = out.filePath(QString(120, 'p') + ".png");
    ASSERT_TRUE(answerSaveDialog(picture));
    settings->close();
    ASSERT_TRUE(waitFor([&] { return text("captureNoticeText").startsWith("Screenshot saved"); }));
    // Cut once the row is laid out again, with the next frame.
    EXPECT_TRUE(
        waitFor([&] { return object("captureNoticeText")->property("truncated").toBool(); }));
    EXPECT_EQ(object("captureNoticeText")->property("lineCount").toInt(), 1);
    // No free width left after it but the row's spacing.
    EXPECT_GE(pixelRect("dismissNoticeButton").right(), pixelRect("captureControls").right() - 13);
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
    // Whole pictures a second, counted over seconds.
    ASSERT_TRUE(waitFor([&] { return figures().section(' ', 0, 0).toInt() > 5; }, 5000))
        << figures().toStdString();
    EXPECT_TRUE(QRegularExpression("^\\d+ /s\n\\d+ /s\n").match(figures()).hasMatch());
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

// The contrast ratio (as WCAG reckons it) of the lightest and darkest pixels
// in `rect`: of text over the panel it is drawn on.
double contrast(const QImage& image, const QRect& rect) {
    const auto linear = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    double low = 1;
    double high = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const double l =
                0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
            low = std::min(low, l);
            high = std::max(high, l);
        }
    }
    return (high + 0.05) / (low + 0.05);
}

TEST_F(Window, StatisticsStayReadableOverAWhitePicture) {
    QtSettingsStore().setString("showStatistics", "true");
    // As wide as the video area, so that the picture lies under the whole panel.
    launch(Headset::Streams, "127.0.0.1", "960x400", "-vf drawbox=c=white:t=fill");
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000));
    ASSERT_TRUE(waitForPictures(5));
    ASSERT_TRUE(shown("statsOverlay"));
    const QImage shot = screenshot("statistics-over-white");
    EXPECT_GE(shot.pixelColor(pixelRect("statsOverlay").topLeft() - QPoint(2, 0)).lightness(), 250);
    for (const char* text : {"statisticsNames", "statisticsValues", "intervalsCaption"}) {
        EXPECT_GE(contrast(shot, pixelRect(text)), 4.5) << text;
    }
}

TEST_F(Window, AFailureIsShownUntilDismissed) {
    launch(Headset::RefusesConnection);
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }));
    EXPECT_EQ(session().phase(), Phase::Idle);
    EXPECT_EQ(text("errorText"), qs(Messages::connectionRefused));
    EXPECT_TRUE(object("errorText")->property("selectByMouse").toBool()); // can be copied
    screenshot("error");
    // A click into the text to copy it leaves the keys working; a click on
    // the picture takes the keyboard back to the window.
    click("errorText");
    EXPECT_TRUE(item("errorText")->hasActiveFocus());
    const QSignalSpy phases(&session(), &StreamSession::phaseChanged);
    for (const char* key : {"Ctrl+I", "Ctrl+R"}) {
        QTest::keySequence(&window(), QKeySequence(key));
    }
    EXPECT_EQ(QtSettingsStore().string("showStatistics"), "true");
    EXPECT_GT(phases.count(), 0);
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); })); // refused again
    QTest::mouseClick(&window(), Qt::LeftButton, {}, videoRect().center());
    EXPECT_FALSE(item("errorText")->hasActiveFocus());
    // No browser takes the setup guide: the window says where it is.
    desktopOpens = false;
    click("setupGuideLink");
    EXPECT_EQ(text("errorText"),
              qs(SessionMessages::guideNotOpened(VISTREL_BINARY_DIR "/src/app/shell/Setup.html")));
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
    // The phase change fades the glyph into the spinner and the texts into
    // the next, in 0.18 s.
    EXPECT_GT(item("headsetMark")->opacity(), 0.0);
    EXPECT_LT(item("spinner")->opacity(), 1.0);
    EXPECT_EQ(text("placeholderTitle"), Labels::idleTitle());
    EXPECT_TRUE(waitFor(
        [&] {
            return item("spinner")->opacity() == 1 && !shown("headsetMark") &&
                   text("placeholderTitle") != Labels::idleTitle() &&
                   item("placeholderTitle")->opacity() == 1;
        },
        2000));
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    EXPECT_TRUE(shown("spinner")); // until the first picture
    trigger(object("copyDiagnosticsAction")); // confirmed for a moment
    EXPECT_EQ(text("confirmationText"), Labels::diagnosticsCopied());
    EXPECT_TRUE(shown("confirmation"));
    time.advance(3);
    EXPECT_FALSE(shown("confirmation"));
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

TEST_F(Window, GoingToSleepEndsTheStreamWaitingOnlyUntilStopIsWritten) {
    PrivateBus bus;
    platform.sleepBus = bus.app;
    activity = std::make_unique<LogindInhibitor>(bus.app, bus.app);
    launch(Headset::SlowToStop); // stays 3 s after STOP: sleep does not wait for that
    QTest::qWait(100);
    EXPECT_TRUE(bus.logind.calls.empty()); // none held while idle
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    ASSERT_TRUE(waitFor([&] { return bus.logind.locks.size() == 2; }));
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
    for (const QKeySequence& close : {QKeySequence(Qt::Key_Escape), QKeySequence("Ctrl+W")}) {
        settings->show();
        settings->requestActivate();
        ASSERT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == settings; }, 3000));
        QTest::keySequence(settings, close);
        EXPECT_TRUE(waitFor([&] { return !settings->isVisible(); }, 2000))
            << close.toString().toStdString();
    }
}

} // namespace
} // namespace vistrel::test
