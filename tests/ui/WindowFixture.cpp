#include "WindowFixture.h"

#include "desktop/SettingsStore.h"

#include <QAccessible>
#include <QCursor>
#include <QDir>
#include <QScreen>
#include <QSet>
#include <QTest>

namespace vistrel::test {

void WindowFixture::SetUp() {
    VISTREL_REQUIRE_DISPLAY();
    appDir_ = std::make_unique<QTemporaryDir>();
    applicationDir = appDir_->path();
}

void WindowFixture::TearDown() {
    if (app_ && app_->session() && app_->session()->phase() != StreamSession::Phase::Idle) {
        // Stop the stand-in in order so that no child outlives the test.
        app_->session()->end();
        waitForPhase(StreamSession::Phase::Idle, 15000);
    }
    app_.reset();
    standIn_.reset();
    QtSettingsStore().setString(QStringLiteral("frameAddress"), QString());
    QtSettingsStore().setString(QStringLiteral("sshUsername"), QStringLiteral("steamos"));
    QtSettingsStore().setString(QStringLiteral("showStatistics"), QStringLiteral("false"));
}

void WindowFixture::launch(HeadsetStandIn::Behaviour behaviour, const QString& address,
                           bool reduceMotion) {
    standIn_ = std::make_unique<HeadsetStandIn>(behaviour);
    launchWith(standIn_->services(), address, reduceMotion);
}

void WindowFixture::launch(const HeadsetStandIn::Stream& stream) {
    standIn_ = std::make_unique<HeadsetStandIn>(HeadsetStandIn::Behaviour::Streams, stream);
    launchWith(standIn_->services(), QStringLiteral("127.0.0.1"));
}

void WindowFixture::launchWith(SessionServices services, const QString& address,
                               bool reduceMotion) {
    QtSettingsStore().setString(QStringLiteral("frameAddress"), address);
    VistrelApp::Platform platform;
    platform.openUrl = [this](const QUrl& url) {
        opened << url.toLocalFile();
        return true;
    };
    platform.applicationDir = applicationDir;
    platform.reduceMotion = reduceMotion;
    app_ = std::make_unique<VistrelApp>(std::move(services), std::move(platform));
    ASSERT_TRUE(app_->load());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app_->mainWindow()));
}

QObject* WindowFixture::object(const char* name) const {
    QObject* found = app_->mainWindow()->findChild<QObject*>(QString::fromLatin1(name));
    if (!found) {
        found = app_->mainWindow()->contentItem()->findChild<QObject*>(QString::fromLatin1(name));
    }
    EXPECT_NE(found, nullptr) << "no object named " << name;
    return found;
}

QQuickItem* WindowFixture::item(const char* name) const {
    return qobject_cast<QQuickItem*>(object(name));
}

QString WindowFixture::text(const char* name) const {
    const QObject* o = object(name);
    return o ? o->property("text").toString() : QString();
}

bool WindowFixture::shown(const char* name) const {
    const QQuickItem* i = item(name);
    return i && i->isVisible() && i->opacity() > 0 && i->window() != nullptr;
}

bool WindowFixture::enabled(const char* name) const {
    const QObject* o = object(name);
    return o && o->property("enabled").toBool();
}

QString WindowFixture::accessibleName(const char* name) const {
    QObject* o = object(name);
    if (!o) {
        return {};
    }
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(o);
    return iface ? iface->text(QAccessible::Name) : QString();
}

void WindowFixture::click(const char* name) {
    QQuickItem* i = item(name);
    ASSERT_NE(i, nullptr);
    ASSERT_TRUE(i->isVisible() && i->isEnabled()) << name << " cannot be clicked";
    const QPointF centre = i->mapToScene(QPointF(i->width() / 2, i->height() / 2));
    QTest::mouseClick(&window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

bool WindowFixture::waitFor(const std::function<bool()>& condition, int ms) {
    return QTest::qWaitFor(condition, ms);
}

bool WindowFixture::waitForPhase(StreamSession::Phase phase, int ms) {
    return waitFor([&] { return app_->session()->phase() == phase; }, ms);
}

QImage WindowFixture::screenshot(const QString& name) {
    // Let bindings, animations and the scene graph settle first, with the
    // pointer off the window: nothing shows hovered or a tooltip.
    const QSize screen = window().screen()->size();
    QCursor::setPos(window().screen(), screen.width() - 1, screen.height() - 1);
    QTest::qWait(400);
    QImage image = window().grabWindow();
    image.save(QDir(artefactDir()).filePath(name + QStringLiteral(".png")));
    return image;
}

QRect WindowFixture::pixelRect(const char* name) const {
    const QQuickItem* area = item(name);
    const QRectF r = area->mapRectToScene(QRectF(0, 0, area->width(), area->height()));
    const qreal dpr = window().effectiveDevicePixelRatio();
    return QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr).toRect();
}

double litShare(const QImage& image, const QRect& rect, int threshold) {
    const QRect r = rect.intersected(image.rect());
    qint64 lit = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) > threshold) {
                ++lit;
            }
        }
    }
    const qint64 total = qint64(r.width()) * r.height();
    return total > 0 ? double(lit) / double(total) : 0.0;
}

int colourCount(const QImage& image, const QRect& rect) {
    const QRect r = rect.intersected(image.rect());
    QSet<int> colours;
    for (int y = r.top(); y <= r.bottom(); y += 2) {
        for (int x = r.left(); x <= r.right(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            colours.insert((c.red() >> 4) << 8 | (c.green() >> 4) << 4 | (c.blue() >> 4));
        }
    }
    return int(colours.size());
}

} // namespace vistrel::test
