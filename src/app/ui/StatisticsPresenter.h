// The live statistics overlay's side in C++: whether it shows (a saved
// setting), and while it does, four times a second, a sample of the run's
// counters turned into the texts and the interval graph it draws. Hidden, it
// keeps no timer and only notes when the run began and when its pictures were
// shown, so that the figures are whole when it shows mid-run.
#pragma once

#include "receive/CounterSample.h"
#include "receive/StreamStatistics.h"
#include "session/StreamSession.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace vistrel {

class StatisticsPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")
    Q_PROPERTY(bool shown READ shown WRITE setShown NOTIFY shownChanged)
    // One value a line, in the order of Labels.statisticsNames.
    Q_PROPERTY(QString values READ values NOTIFY updated)
    // The intervals between the pictures of the last ten seconds as bars, in
    // SVG path data on a 1000 × 100 canvas: ten seconds across, 100 ms up.
    Q_PROPERTY(QString intervalBars READ intervalBars NOTIFY updated)
    Q_PROPERTY(double graphWidth READ graphWidth CONSTANT)
    Q_PROPERTY(double graphHeight READ graphHeight CONSTANT)

public:
    static constexpr double interval = 0.25; // seconds between updates
    static constexpr double canvasWidth = 1000;
    static constexpr double canvasHeight = 100;

    explicit StatisticsPresenter(StreamSession& session, QObject* parent = nullptr);
    ~StatisticsPresenter() override;
    StatisticsPresenter(const StatisticsPresenter&) = delete;
    StatisticsPresenter& operator=(const StatisticsPresenter&) = delete;

    [[nodiscard]] bool shown() const { return timer_ != nullptr; }
    void setShown(bool shown);
    [[nodiscard]] const QString& values() const { return values_; }
    [[nodiscard]] const QString& intervalBars() const { return intervalBars_; }
    [[nodiscard]] static double graphWidth() { return canvasWidth; }
    [[nodiscard]] static double graphHeight() { return canvasHeight; }
    // The overlay's values for `figures`, one a line.
    [[nodiscard]] static QString valueLines(const StreamFigures& figures);

signals:
    void shownChanged();
    void updated();

private:
    void start();
    void sample();
    void phaseChanged();
    void pictureShown();
    // The run's counters now, read from the session, its receiver's and its
    // hand-off's atomics, never waiting on the picture path. The slowest
    // decode is that since the previous sample: the overlay is its one reader.
    [[nodiscard]] CounterSample counters() const;

    StreamSession* session_;         // outlives the presenter
    std::unique_ptr<QObject> timer_; // runs while shown
    std::vector<CounterSample> samples_;
    // When this run began (its counters at zero), the pictures the session
    // had shown by then, and when this run's pictures of about the last ten
    // seconds were shown; steady clock, oldest first.
    std::optional<double> runStartedAt_;
    std::uint64_t shownBeforeRun_ = 0;
    std::deque<double> shownTimes_;
    QString values_;
    QString intervalBars_;
};

} // namespace vistrel
