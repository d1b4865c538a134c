#include "WindowFixture.h"

#include "desktop/SettingsStore.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QScreen>
#include <QSettings>
#include <QtQml/qqmlextensionplugin.h>
#include <dlfcn.h>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace vistrel::test {
namespace {

// The one QApplication of the window tests, on a real X display (Xvfb with
// Mesa), with private settings, data and runtime folders.
class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const QDir home(home_.path());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_RUNTIME_DIR", home.filePath("runtime").toUtf8());
        home.mkdir("runtime",
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // The video surface needs Qt Quick's hardware path (Mesa under Xvfb):
        // the software renderer would draw it black. No display: Qt aborts.
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_QUICK_BACKEND");
        qputenv("QT_QUICK_CONTROLS_STYLE", "Fusion");
        // Mesa's render workers may still be exiting when LeakSanitizer
        // stops every thread at exit, which crashes its tracer.
        qputenv("LP_NUM_THREADS", "0");
        app_ = std::make_unique<QApplication>(argc_, argv_.data());
        QApplication::setOrganizationName("Vistrel"); // settings as the program keeps them
        QApplication::setApplicationName("Vistrel");
    }
    void TearDown() override {
        // Mesa's lifelong allocations are suppressed below by its name, which
        // LeakSanitizer knows only while Mesa stays loaded past exit.
        QFile maps("/proc/self/maps");
        for (const QByteArray& line :
             maps.open(QIODevice::ReadOnly) ? maps.readAll().split('\n') : QList<QByteArray>{}) {
            if (line.contains("/dri/")) {
                dlopen(line.mid(line.indexOf('/')).constData(),
                       RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            }
        }
        app_.reset();
    }

private:
    QTemporaryDir home_;
    int argc_ = 1;
    char name_[16] = "vistrel-ui-test";
    std::array<char*, 2> argv_{name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// NOLINTNEXTLINE(cert-err58-cpp,cppcoreguidelines-owning-memory)
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

} // namespace

void WindowFixture::TearDown() {
    if (app_ && session().phase() != StreamSession::Phase::Idle) {
        session().end(); // no child outlives the test
        waitForPhase(StreamSession::Phase::Idle, 15000);
    }
    app_.reset();
    QSettings().clear(); // the next test's window is a new user's
}

void WindowFixture::launch(Headset headset, const QString& address) {
    const std::uint16_t port = freeUdpPort();
    const std::string started = "echo VL_STARTED; listen";
    const std::string body[] = {
        "listen",
        started,
        "ffmpeg -loglevel error -nostdin -re -f lavfi -i testsrc2=size=1280x720:rate=30 "
        "-c:v libx264 -preset ultrafast -tune zerolatency -pix_fmt yuv420p -g 15 -f mpegts "
        "'udp://127.0.0.1:" +
            std::to_string(port) + "?pkt_size=1316' &\n" + started + "; kill $!; wait",
        started + "; sleep 3",
        "echo 'ssh: connect to host 127.0.0.1 port 22: Connection refused' >&2; exit 255",
    };
    rig_.emplace(body[int(headset)]);
    services.sshProgram = rig_->sshProgram;
    services.applicationDir = rig_->path("bin");
    services.port = port;
    QtSettingsStore().setString("frameAddress", address);
    // No real browser or file manager; the help page where the build keeps it.
    platform.openUrl = [this](const QUrl&) {
        return desktopOpens;
    };
    services.revealer =
        std::make_unique<DesktopFileRevealer>(QDBusConnection(QString()), platform.openUrl);
    platform.applicationDir = VISTREL_BINARY_DIR "/src/app/shell";
    app_ = std::make_unique<VistrelApp>(std::move(services), std::move(platform));
    ASSERT_TRUE(app_->load());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app_->mainWindow()));
}

void WindowFixture::click(const char* name) {
    QQuickItem* i = item(name);
    ASSERT_TRUE(i && i->isVisible() && i->isEnabled()) << name << " cannot be clicked";
    QTest::mouseClick(&window(), Qt::LeftButton, {},
                      i->mapToScene({i->width() / 2, i->height() / 2}).toPoint());
}

QImage WindowFixture::screenshot(const QString& name, QQuickWindow* of) {
    const QSize screen = window().screen()->size();
    QCursor::setPos(window().screen(), screen.width() - 1, screen.height() - 1);
    QTest::qWait(400); // bindings, animations and the scene graph settle
    QImage image = (of ? of : &window())->grabWindow();
    QDir(VISTREL_BINARY_DIR).mkpath("tests/ui/screenshots");
    image.save(VISTREL_BINARY_DIR "/tests/ui/screenshots/" + name + ".png");
    return image;
}

} // namespace vistrel::test

// libdbus and Mesa keep buffers they never free; neither is ours.
extern "C" const char* __lsan_default_suppressions() { // NOLINT
    return "leak:libdbus-1.so\nleak:_dri.so\n";
}
