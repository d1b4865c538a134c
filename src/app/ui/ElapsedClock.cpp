#include "ui/ElapsedClock.h"

#include "ui/ElapsedTime.h"

namespace vistrel {

namespace {
// Several refreshes a second so that the shown second never lags the real one
// by more than a fraction.
constexpr int refreshMs = 200;
} // namespace

ElapsedClock::ElapsedClock(QObject* parent) : QObject(parent) {
    ticker_.setInterval(refreshMs);
    connect(&ticker_, &QTimer::timeout, this, &ElapsedClock::refresh);
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
