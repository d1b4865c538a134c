// A real Vistrel window over a real StreamSession, whose SSH client is a
// HeadsetStandIn, with helpers to read the window the way a person (or a
// screen reader) would: item texts, visibility, enabled state, accessible
// names and pictures of the window.
#pragma once

#include "HeadsetStandIn.h"
#include "UiEnvironment.h"
#include "VistrelApp.h"
#include "desktop/SettingsStore.h"

#include <QImage>
#include <QQuickItem>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace vistrel::test {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Saves `address` as the last used address, then launches the application.
    void launch(HeadsetStandIn::Behaviour behaviour, const QString& address = "127.0.0.1",
                bool reduceMotion = false);
    // Launches the application with a Streams stand-in sending `stream`.
    void launch(const HeadsetStandIn::Stream& stream);
    // The same with the given services (a real SSH client, for instance).
    void launchWith(SessionServices services, const QString& address, bool reduceMotion = false);

    [[nodiscard]] StreamSession& session() const { return *app_->session(); }
    [[nodiscard]] QQuickWindow& window() const { return *app_->mainWindow(); }
    [[nodiscard]] VistrelApp& app() const { return *app_; }

    // The named object of the window; the test fails when it is missing.
    [[nodiscard]] QObject* object(const char* name) const;
    [[nodiscard]] QQuickItem* item(const char* name) const;
    [[nodiscard]] QString text(const char* name) const;
    // Shown on screen: the item and all its ancestors are visible.
    [[nodiscard]] bool shown(const char* name) const;
    [[nodiscard]] bool enabled(const char* name) const;
    [[nodiscard]] QString accessibleName(const char* name) const;

    void click(const char* name);
    // Runs the event loop until `condition` holds or `ms` pass; returns it.
    static bool waitFor(const std::function<bool()>& condition, int ms = 20000);
    bool waitForPhase(StreamSession::Phase phase, int ms = 20000);

    // Renders the window, keeps the picture as <artefacts>/<name>.png and
    // returns it.
    QImage screenshot(const QString& name);
    // The named item's rectangle in window pixels; the video area's.
    [[nodiscard]] QRect pixelRect(const char* name) const;
    [[nodiscard]] QRect videoRect() const { return pixelRect("videoArea"); }

    // Help pages the application asked the desktop to open.
    QStringList opened;
    QString applicationDir;

private:
    std::unique_ptr<HeadsetStandIn> standIn_;
    std::unique_ptr<VistrelApp> app_;
    std::unique_ptr<QTemporaryDir> appDir_;
};

// Share of pixels in `rect` whose brightest channel exceeds `threshold`.
double litShare(const QImage& image, const QRect& rect, int threshold = 40);
// Number of distinct colours (coarsened to 4 bits a channel) in `rect`.
int colourCount(const QImage& image, const QRect& rect);

} // namespace vistrel::test
