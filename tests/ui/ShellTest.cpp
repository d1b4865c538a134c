// The application around the window: menus and their keys, quitting while a
// stream runs, system sleep, full screen, the help page, the settings window,
// the headset glyph as drawn, and captures written through the real dialog.
#include "Messages.h"
#include "WindowFixture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace vistrel::test {
namespace {

using Behaviour = HeadsetStandIn::Behaviour;
using Phase = StreamSession::Phase;

class Shell : public WindowFixture {
protected:
    QString actionKey(const char* name) const {
        return object(name)->property("shortcut").toString();
    }
    void trigger(const char* name) {
        ASSERT_TRUE(QMetaObject::invokeMethod(object(name), "trigger"));
    }
    // Answers the open save dialog with `path`, as a person typing it would.
    static bool answerSaveDialog(const QString& path) {
        QFileDialog* dialog = nullptr;
        if (!waitFor(
                [&] {
                    for (QWidget* w : QApplication::topLevelWidgets()) {
                        if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
                            dialog = d;
                        }
                    }
                    return dialog != nullptr;
                },
                5000)) {
            return false;
        }
        // Typed into the file name field, as a person would; the dialog
        // accepts a whole path there.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            return false;
        }
        name->setText(path);
        return QMetaObject::invokeMethod(dialog, "accept");
    }
};

TEST_F(Shell, StreamMenuTitlesKeysAndEnablingFollowThePhase) {
    launch(Behaviour::SlowToStop);
    struct Item {
        const char* name;
        const char* title;
        QString key;
    };
    const Item items[] = {
        {"startAction", "Start Streaming", "Ctrl+R"},
        {"endAction", "End Streaming", "Ctrl+."},
        {"recordAction", "Record Video\u2026", "Ctrl+Shift+R"},
        {"screenshotAction", "Save Screenshot\u2026", "Ctrl+Shift+S"},
        {"fullScreenAction", "Enter Full Screen", Shortcuts::fullScreen()},
        {"copyDiagnosticsAction", "Copy Diagnostics", ""},
        {"helpAction", "Vistrel Setup Guide", ""},
        {"settingsAction", "Settings\u2026", Shortcuts::settings()},
    };
    for (const Item& i : items) {
        EXPECT_EQ(text(i.name), QString::fromUtf8(i.title)) << i.name;
        EXPECT_EQ(actionKey(i.name), i.key) << i.name;
    }
    EXPECT_EQ(object("streamMenu")->property("title").toString().remove('&'), "Stream");
    EXPECT_EQ(object("helpMenu")->property("title").toString().remove('&'), "Help");

    // idle with an address: only starting is possible.
    EXPECT_TRUE(enabled("startAction"));
    EXPECT_FALSE(enabled("endAction"));
    EXPECT_FALSE(enabled("recordAction"));
    EXPECT_FALSE(enabled("screenshotAction"));
    EXPECT_TRUE(enabled("fullScreenAction"));
    EXPECT_TRUE(enabled("copyDiagnosticsAction"));

    // The keys work from the window, not only from the open menu.
    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    EXPECT_FALSE(enabled("startAction"));
    EXPECT_TRUE(enabled("endAction"));
    EXPECT_FALSE(enabled("recordAction"));

    QTest::keyClick(&window(), Qt::Key_Period, Qt::ControlModifier);
    ASSERT_TRUE(waitForPhase(Phase::Stopping));
    // Stays enabled while stopping (the button does not); choosing it again
    // changes nothing.
    EXPECT_TRUE(enabled("endAction"));
    EXPECT_FALSE(enabled("endButton"));
    trigger("endAction");
    EXPECT_EQ(session().phase(), Phase::Stopping);
    ASSERT_TRUE(waitForPhase(Phase::Idle, 15000));
    EXPECT_TRUE(enabled("startAction"));
}

TEST_F(Shell, WithoutAnAddressStartIsDisabledEverywhere) {
    launch(Behaviour::NeverAnswers, QStringLiteral("   "));
    EXPECT_FALSE(enabled("startAction"));
    EXPECT_FALSE(enabled("streamButton"));
    QTest::keyClick(&window(), Qt::Key_R, Qt::ControlModifier);
    QTest::qWait(200);
    EXPECT_EQ(session().phase(), Phase::Idle);
}

TEST_F(Shell, QuitWhileIdleIsImmediate) {
    launch(Behaviour::NeverAnswers);
    QSignalSpy approved(&app(), &VistrelApp::terminationApproved);
    window().close();
    EXPECT_EQ(approved.count(), 1);
    trigger("quitAction");
    EXPECT_EQ(approved.count(), 2);
}

TEST_F(Shell, ClosingTheWindowWhileStreamingQuitsOnlyAfterTheStreamStopped) {
    launch(Behaviour::SlowToStop);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Waiting));
    QSignalSpy approved(&app(), &VistrelApp::terminationApproved);

    window().close();
    EXPECT_EQ(approved.count(), 0);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(session().phase(), Phase::Stopping);
    EXPECT_EQ(text("statusText"), "Ending stream");

    // A second request while waiting waits the same way.
    trigger("quitAction");
    EXPECT_EQ(approved.count(), 0);

    ASSERT_TRUE(waitFor([&] { return approved.count() > 0; }, 15000));
    EXPECT_EQ(session().phase(), Phase::Idle);
}

// A private message bus on which the test plays logind.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("vistrel-test-logind"));
        QDBusConnection::disconnectFromBus(QStringLiteral("vistrel-test-app"));
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    [[nodiscard]] bool ok() const { return !address_.isEmpty(); }
    [[nodiscard]] QDBusConnection connection(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
};

void sendPrepareForSleep(QDBusConnection& logind, bool starting) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << starting;
    ASSERT_TRUE(logind.send(signal));
}

TEST(SleepWatcher, HearsOnlyLogindGoingToSleep) {
    VISTREL_REQUIRE_DISPLAY();
    PrivateBus bus;
    if (!bus.ok()) {
        GTEST_SKIP() << "dbus-daemon could not start a private bus";
    }
    QDBusConnection logind = bus.connection(QStringLiteral("vistrel-test-logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    SleepWatcher watcher(bus.connection(QStringLiteral("vistrel-test-app")));
    ASSERT_TRUE(watcher.isListening());
    QSignalSpy sleeping(&watcher, &SleepWatcher::aboutToSleep);

    sendPrepareForSleep(logind, false); // waking up
    QTest::qWait(300);
    EXPECT_EQ(sleeping.count(), 0);
    sendPrepareForSleep(logind, true);
    EXPECT_TRUE(sleeping.wait(5000));
    EXPECT_EQ(sleeping.count(), 1);
}

TEST(SleepWatcher, WithoutABusItStaysSilent) {
    VISTREL_REQUIRE_DISPLAY();
    const SleepWatcher watcher{QDBusConnection(QString())};
    EXPECT_FALSE(watcher.isListening());
}

TEST_F(Shell, GoingToSleepEndsTheStream) {
    PrivateBus bus;
    if (!bus.ok()) {
        GTEST_SKIP() << "dbus-daemon could not start a private bus";
    }
    QDBusConnection logind = bus.connection(QStringLiteral("vistrel-test-logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

    QtSettingsStore().setString(QStringLiteral("frameAddress"), QStringLiteral("127.0.0.1"));
    HeadsetStandIn standIn(Behaviour::StartsCapture);
    VistrelApp::Platform platform;
    platform.sleepBus = bus.connection(QStringLiteral("vistrel-test-app"));
    VistrelApp app(standIn.services(), std::move(platform));
    ASSERT_TRUE(app.load());
    app.session()->start();
    ASSERT_TRUE(waitFor([&] { return app.session()->phase() == Phase::Waiting; }));

    sendPrepareForSleep(logind, true);
    EXPECT_TRUE(waitFor([&] { return app.session()->phase() == Phase::Idle; }, 15000));
    EXPECT_TRUE(app.session()->error().isEmpty());
}

TEST_F(Shell, FullScreenTogglesFromMenuButtonAndDoubleClick) {
    launch(Behaviour::NeverAnswers);
    window().showMaximized();
    trigger("fullScreenAction");
    EXPECT_TRUE(waitFor([&] { return window().visibility() == QWindow::FullScreen; }, 3000));
    // Leaving it restores the state it left.
    trigger("fullScreenAction");
    EXPECT_TRUE(waitFor([&] { return window().visibility() == QWindow::Maximized; }, 3000));

    // A double click on the video area, also without a picture.
    QQuickItem* area = item("videoArea");
    const QPoint centre =
        area->mapToScene(QPointF(area->width() / 2, area->height() / 2)).toPoint();
    QTest::mouseDClick(&window(), Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_TRUE(waitFor([&] { return window().visibility() == QWindow::FullScreen; }, 3000));
}

TEST_F(Shell, HelpOpensTheInstalledPageAndNothingWithoutIt) {
    launch(Behaviour::NeverAnswers);
    trigger("helpAction");
    click("setupGuideLink");
    EXPECT_TRUE(opened.isEmpty()); // no page next to this application

    QFile page(applicationDir + "/Setup.html");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html></html>");
    page.close();
    trigger("helpAction");
    click("setupGuideLink");
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QFileInfo(page).canonicalFilePath());
    EXPECT_EQ(opened[1], opened[0]);
}

TEST_F(Shell, SettingsEditTheSavedUserNameOnlyWhileIdle) {
    launch(Behaviour::NeverAnswers);
    // The preferences key opens it from the main window.
    QTest::keyClick(&window(), Qt::Key_Comma, Qt::ControlModifier);
    auto* settings = qobject_cast<QQuickWindow*>(object("settingsWindow"));
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
    EXPECT_EQ(settings->width(), 470);
    EXPECT_EQ(settings->height(), 280);

    QObject* field = object("usernameField");
    EXPECT_EQ(field->property("text").toString(), "steamos");
    EXPECT_TRUE(field->property("enabled").toBool());
    EXPECT_EQ(object("portValue")->property("text").toString(), "8090 / UDP");
    EXPECT_EQ(object("videoValue")->property("text").toString(),
              QStringLiteral("H.264 \u00b7 No audio"));
    EXPECT_TRUE(object("usernameHelp")
                    ->property("text")
                    .toString()
                    .startsWith("Steam Frame uses steamos by default."));
    EXPECT_EQ(object("openSetupGuideButton")->property("text").toString(), "Open Setup Guide");

    // Typing saves at once, the empty name included.
    qobject_cast<QQuickItem*>(field)->forceActiveFocus();
    QTest::keyClick(settings, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(settings, Qt::Key_Backspace);
    EXPECT_EQ(QtSettingsStore().string(QStringLiteral("sshUsername")).value_or("absent"), "");
    for (const char c : std::string_view("deck")) {
        QTest::keyClick(settings, c);
    }
    EXPECT_EQ(QtSettingsStore().string(QStringLiteral("sshUsername")).value_or(""), "deck");
    QTest::qWait(300);
    screenshot("settings-main");
    settings->grabWindow().save(artefactDir() + "/settings.png");

    // The menus' keys work while this window has the focus.
    QTest::keyClick(settings, Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(waitForPhase(Phase::Connecting));
    EXPECT_FALSE(field->property("enabled").toBool());
    QTest::keyClick(settings, Qt::Key_Period, Qt::ControlModifier);
    ASSERT_TRUE(waitForPhase(Phase::Idle));
    EXPECT_TRUE(field->property("enabled").toBool());
}

TEST_F(Shell, AnEmptyUserNameIsRefusedAtTheNextStart) {
    launch(Behaviour::NeverAnswers);
    app().presenter()->setSshUsername(QString());
    click("streamButton");
    ASSERT_TRUE(waitFor([&] { return shown("errorBox"); }));
    EXPECT_EQ(text("errorText"), QString::fromUtf8(Messages::invalidUsername.data()));
}

// Brightest channel in a 3 × 3 neighbourhood: strokes are anti-aliased.
int brightness(const QImage& image, QPointF at) {
    int best = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor c = image.pixelColor(int(at.x()) + dx, int(at.y()) + dy);
            best = std::max({best, c.red(), c.green(), c.blue()});
        }
    }
    return best;
}

TEST_F(Shell, TheHeadsetGlyphIsDrawnWhereItsPathLies) {
    launch(Behaviour::NeverAnswers);
    QQuickItem* mark = item("headsetMark");
    EXPECT_DOUBLE_EQ(mark->width(), 92);
    EXPECT_DOUBLE_EQ(mark->height(), 64);
    const QImage shot = screenshot("headset-mark");
    const auto at = [&](qreal x, qreal y) {
        return brightness(shot, mark->mapToScene({x, y}));
    };

    // On the outline: visor edges, the eye slits and the top of the strap.
    EXPECT_GT(at(46, 60.8), 60);  // visor bottom
    EXPECT_GT(at(2, 40), 60);     // visor left side
    EXPECT_GT(at(90, 40), 60);    // visor right side
    EXPECT_GT(at(27, 37.76), 60); // left slit
    EXPECT_GT(at(65, 37.76), 60); // right slit
    EXPECT_GT(at(46, 3.4), 60);   // strap, near its peak
    // Off it: inside the visor, between the slits, above the strap and in the
    // rounded-off corners.
    EXPECT_LT(at(46, 48), 30);
    EXPECT_LT(at(46, 37.76), 30);
    EXPECT_LT(at(10, 2), 30);
    EXPECT_LT(at(2.5, 19.7), 30);
    // Half-transparent white, not full white.
    EXPECT_LT(at(46, 60.8), 200);
}

TEST_F(Shell, RecordingAndScreenshotWriteFilesThatOpen) {
    launch(Behaviour::Streams);
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString();
    QTemporaryDir out;
    const auto layout = [&] {
        return QList<QRect>{pixelRect("recordButton"), pixelRect("screenshotButton"), videoRect()};
    };
    const QList<QRect> withoutNotice = layout();

    click("recordButton");
    const QString movie = out.filePath("clip.mp4");
    ASSERT_TRUE(answerSaveDialog(movie));
    ASSERT_TRUE(waitFor([&] { return session().recordingStartedAt().isValid(); }, 5000))
        << session().error().toStdString();
    EXPECT_EQ(text("recordButton"), "Stop Recording");
    EXPECT_EQ(text("recordAction"), "Stop Recording");
    EXPECT_TRUE(enabled("recordButton"));
    EXPECT_TRUE(enabled("recordAction"));
    EXPECT_TRUE(shown("recordingIndicator"));
    EXPECT_FALSE(shown("savingIndicator"));
    EXPECT_TRUE(QRegularExpression("^\\d+:\\d\\d$").match(text("recordingTimer")).hasMatch());
    screenshot("recording");
    QTest::qWait(1500);

    click("recordButton");
    ASSERT_TRUE(waitFor([&] { return shown("captureNotice"); }, 20000))
        << session().error().toStdString();
    EXPECT_EQ(text("recordButton"), "Record");
    EXPECT_EQ(text("recordAction"), QStringLiteral("Record Video\u2026"));
    EXPECT_EQ(text("captureNoticeText"), QStringLiteral("Recording saved \u00b7 clip.mp4"));
    // The notice moves neither the buttons (a second click lands on the same
    // one) nor the picture.
    EXPECT_EQ(layout(), withoutNotice);
    EXPECT_EQ(text("showInFolderLink"), "Show in Folder");
    EXPECT_EQ(accessibleName("dismissNoticeButton"), "Dismiss saved capture notification");
    QFile mp4(movie);
    ASSERT_TRUE(mp4.open(QIODevice::ReadOnly));
    EXPECT_EQ(mp4.read(8).mid(4), "ftyp");
    EXPECT_GT(mp4.size(), 10000);

    // A long name: one line, cut in the middle, whole text in the tooltip.
    window().resize(680, window().height());
    click("screenshotButton");
    const QString picture = out.filePath(QString(120, 'p') + ".png");
    ASSERT_TRUE(answerSaveDialog(picture));
    ASSERT_TRUE(
        waitFor([&] { return text("captureNoticeText").startsWith("Screenshot saved"); }, 20000));
    QObject* notice = object("captureNoticeText");
    EXPECT_TRUE(notice->property("truncated").toBool());
    EXPECT_EQ(notice->property("elide").toInt(), int(Qt::ElideMiddle));
    EXPECT_EQ(notice->property("lineCount").toInt(), 1);
    const QImage png(picture);
    EXPECT_EQ(png.size(), QSize(1280, 720));
    screenshot("capture-notice");

    click("dismissNoticeButton");
    EXPECT_FALSE(shown("captureNotice"));
}

TEST_F(Shell, StatisticsOverlayFollowsThePicturesAndGoesWithItsMenuCommand) {
    launch(Behaviour::Streams);
    EXPECT_EQ(text("statisticsAction"), "Show Statistics");
    EXPECT_EQ(actionKey("statisticsAction"), "Ctrl+I");
    EXPECT_FALSE(shown("statsOverlay"));
    click("streamButton");
    ASSERT_TRUE(waitForPhase(Phase::Streaming, 30000)) << session().error().toStdString();

    trigger("statisticsAction");
    ASSERT_TRUE(shown("statsOverlay"));
    EXPECT_EQ(QtSettingsStore().string("showStatistics"), "true");
    // The first line is the shown pictures' rate; the figures move with them.
    const auto shownRate = [&] {
        return text("statisticsValues").section(' ', 0, 0).toDouble();
    };
    ASSERT_TRUE(waitFor([&] { return shownRate() > 5; }, 5000))
        << text("statisticsValues").toStdString();
    const QString figures = text("statisticsValues");
    EXPECT_TRUE(waitFor([&] { return text("statisticsValues") != figures; }, 3000));
    const QImage shot = screenshot("statistics-overlay");
    EXPECT_FALSE(pixelRect("statsOverlay").contains(videoRect().center()));
    // Bars in the accent colour, brighter than the video dimmed behind the panel.
    EXPECT_GT(litShare(shot, pixelRect("intervalGraph"), 150), 0.02);

    trigger("statisticsAction");
    EXPECT_FALSE(shown("statsOverlay"));
    EXPECT_EQ(QtSettingsStore().string("showStatistics"), "false");
}

} // namespace
} // namespace vistrel::test
