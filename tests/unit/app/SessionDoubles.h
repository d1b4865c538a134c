// Stand-ins for the desktop services the session uses, so that tests decide
// the time, the saved settings and the user's answers to save dialogs.
#pragma once

#include "desktop/ActivityInhibitor.h"
#include "desktop/CaptureLocationChooser.h"
#include "desktop/Clipboard.h"
#include "desktop/Clock.h"
#include "desktop/FileRevealer.h"
#include "desktop/SettingsStore.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vistrel::test {

// Time moves only when advance() is called; delayed and repeating work runs
// at its due times, in order.
class TestClock final : public Clock {
public:
    [[nodiscard]] double uptime() const override { return uptime_; }
    [[nodiscard]] QDateTime now() const override;
    void callAfter(double seconds, QObject* context, std::function<void()> work) override;
    [[nodiscard]] std::unique_ptr<QObject> repeat(double seconds, QObject* context,
                                                  std::function<void()> work) override;

    // Moves the clock forward, running every piece of work that falls due.
    void advance(double seconds);
    // The wall-clock time at uptime 0.
    void setWallStart(const QDateTime& start) { wallStart_ = start; }
    // Repeating work whose handle is still alive.
    [[nodiscard]] int liveRepeats() const;

private:
    struct Entry {
        double due = 0;
        double interval = 0; // 0 for one-shot work
        QPointer<QObject> context;
        QPointer<QObject> handle; // repeating work only
        std::function<void()> work;
        bool done = false;
    };
    double uptime_ = 1000.0;
    QDateTime wallStart_ = QDateTime(QDate(2026, 12, 5), QTime(16, 58, 14));
    std::vector<std::shared_ptr<Entry>> entries_;
};

class MemorySettings final : public SettingsStore {
public:
    [[nodiscard]] std::optional<QString> string(const QString& key) const override;
    void setString(const QString& key, const QString& value) override;
    std::map<QString, QString> values;
};

// Remembers each request; the test answers it as the user would.
class ScriptedChooser final : public CaptureLocationChooser {
public:
    void choose(const CaptureLocationRequest& request, Completion completion) override;
    void cancel() override;

    // Closes the open dialog with this answer; false when none is open.
    bool answer(std::optional<QString> path);
    [[nodiscard]] bool isOpen() const { return static_cast<bool>(pending_); }

    std::vector<CaptureLocationRequest> requests;
    int cancels = 0;

private:
    Completion pending_;
};

class RecordingRevealer final : public FileRevealer {
public:
    void reveal(const QString& path) override { revealed << path; }
    QStringList revealed;
};

class RecordingClipboard final : public Clipboard {
public:
    void setText(const QString& text) override {
        this->text = text;
        ++writes;
    }
    QString text = QStringLiteral("something from before");
    int writes = 0;
};

// Counts holds that are alive.
class CountingInhibitor final : public ActivityInhibitor {
public:
    [[nodiscard]] std::unique_ptr<ActivityHold> begin(const QString& reason) override;
    std::shared_ptr<int> live = std::make_shared<int>(0);
    QStringList reasons;
};

} // namespace vistrel::test
