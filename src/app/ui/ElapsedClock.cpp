#include "ui/ElapsedClock.h"

#include "ui/ElapsedTime.h"

namespace vistrel {

namespace {
// Several checks a second so that the shown second never lags the real one
// by more than a fraction.
constexpr int checkMs = 200;
// A new second waits this long for a picture to be drawn with (catchUp):
// drawn on its own, it would cost the window a frame more every second.
constexpr qint64 graceMs = 150;
} // namespace

ElapsedClock::ElapsedClock(QObject* parent) : QObject(parent) {
    ticker_.setInterval(checkMs);
    connect(&ticker_, &QTimer::timeout, this, &ElapsedClock::check);
    refresh();
}

void ElapsedClock::setSince(const QDateTime& since) {
    if (since == since_) {
        return;
    }
    since_ = since;
    emit sinceChanged();
    if (since_.isValid()) {
        ticker_.start();
    } else {
        ticker_.stop();
    }
    refresh();
}

void ElapsedClock::check() {
    const qint64 intoSecond =
        since_.isValid() ? since_.msecsTo(QDateTime::currentDateTimeUtc()) % 1000 : graceMs;
    if (intoSecond >= graceMs) {
        refresh();
    }
}

void ElapsedClock::refresh() {
    const double seconds =
        since_.isValid()
            ? static_cast<double>(since_.msecsTo(QDateTime::currentDateTimeUtc())) / 1000.0
            : 0.0;
    QString text = ElapsedTime::format(seconds);
    if (text != text_) {
        text_ = std::move(text);
        emit textChanged();
    }
}

} // namespace vistrel
