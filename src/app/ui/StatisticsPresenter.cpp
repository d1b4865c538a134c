#include "ui/StatisticsPresenter.h"

#include "receive/StreamStatistics.h"
#include "ui/Labels.h"

#include <QStringList>
#include <algorithm>

namespace vistrel {

namespace {

QString settingKey() {
    return QStringLiteral("showStatistics");
}

// How far back shown pictures are remembered, for the interval graph.
constexpr double shownTimesKept = StreamStatistics::recentWindow;

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString count(const StreamFigures::Count& c) {
    return Labels::totalAndRecent(QString::number(c.total), QString::number(c.recent));
}

// Milliseconds below a second, seconds from one on.
QString duration(double seconds, int millisecondDecimals) {
    return seconds >= 1 ? Labels::seconds(number(seconds, 1))
                        : Labels::milliseconds(number(seconds * 1000, millisecondDecimals));
}

} // namespace

QString StatisticsPresenter::valueLines(const StreamFigures& f) {
    const QString none = Labels::notAvailable();
    // Whole pictures a second: counted over a few seconds, a tenth would be noise.
    const QStringList lines = {
        Labels::perSecond(number(f.shownPerSecond, 0)),
        Labels::perSecond(number(f.decodedPerSecond, 0)),
        Labels::megabitsPerSecond(number(f.megabitsPerSecond, 2)),
        count(f.continuityGaps),
        count(f.kernelDrops),
        count(f.picturesReplaced),
        count(f.picturesConcealed),
        f.meanDecodeMs ? Labels::decodeTimes(duration(*f.meanDecodeMs / 1000, 1),
                                             duration(f.worstDecodeMs.value_or(0) / 1000, 1))
                       : none,
        f.width > 0 ? QStringLiteral("%1 \u00d7 %2").arg(f.width).arg(f.height) : none,
        f.sinceLastPicture ? Labels::ago(duration(*f.sinceLastPicture, 0)) : none,
        f.keyframeWait ? Labels::seconds(number(*f.keyframeWait, 1)) : none,
    };
    return lines.join(QLatin1Char('\n'));
}

namespace {

// One bar per picture, as wide as the wait for it and as high as that wait
// (cut off at the top): steady pictures make an even band, a stutter a block
// that stands out.
QString bars(const std::vector<StreamFigures::Interval>& intervals) {
    constexpr double width = StatisticsPresenter::canvasWidth;
    constexpr double bottom = StatisticsPresenter::canvasHeight;
    constexpr double perSecond = width / StreamStatistics::recentWindow;
    QString path;
    path.reserve(qsizetype(intervals.size()) * 40);
    for (const StreamFigures::Interval& i : intervals) {
        const double right = width - i.age * perSecond;
        const double left = std::max(0.0, right - i.seconds * perSecond);
        const double top = bottom - std::min(i.seconds * 1000, bottom);
        path += QStringLiteral("M%1 %2V%3H%4V%2Z")
                    .arg(number(left, 1), number(bottom, 0), number(top, 1), number(right, 1));
    }
    return path;
}

} // namespace

StatisticsPresenter::StatisticsPresenter(StreamSession& session, QObject* parent)
    : QObject(parent), session_(&session) {
    connect(session_, &StreamSession::phaseChanged, this, &StatisticsPresenter::phaseChanged);
    connect(session_, &StreamSession::pictureShown, this, &StatisticsPresenter::pictureShown);
    phaseChanged();
    if (session_->settings().string(settingKey()) == QStringLiteral("true")) {
        start();
    }
}

StatisticsPresenter::~StatisticsPresenter() = default;

void StatisticsPresenter::setShown(bool shown) {
    if (shown == this->shown()) {
        return;
    }
    session_->settings().setString(settingKey(),
                                   shown ? QStringLiteral("true") : QStringLiteral("false"));
    if (shown) {
        start();
    } else {
        timer_.reset();
        samples_.clear();
    }
    emit shownChanged();
}

void StatisticsPresenter::start() {
    timer_ = session_->clock().repeat(interval, this, [this] { sample(); });
    sample();
}

void StatisticsPresenter::phaseChanged() {
    const StreamSession::Phase phase = session_->phase();
    if (phase == StreamSession::Phase::Idle) {
        runStartedAt_.reset();
        shownTimes_.clear();
    } else if (!runStartedAt_) {
        runStartedAt_ = session_->clock().uptime();
        shownBeforeRun_ = session_->picturesShown();
    }
}

void StatisticsPresenter::pictureShown() {
    const double now = session_->clock().uptime();
    // One picture older than the span is kept: the first interval needs it.
    shownTimes_.push_back(now);
    while (shownTimes_.size() > 2 && shownTimes_[1] < now - shownTimesKept) {
        shownTimes_.pop_front();
    }
}

CounterSample StatisticsPresenter::counters() const {
    CounterSample sample;
    sample.time = session_->clock().uptime();
    sample.runStart = runStartedAt_;
    if (!runStartedAt_) {
        return sample;
    }
    sample.picturesShown = session_->picturesShown() - shownBeforeRun_;
    if (const UdpReceiver* receiver = session_->receiver()) {
        const UdpReceiver::Statistics received = receiver->statistics();
        sample.picturesDecoded = received.frames;
        sample.bytes = received.bytes;
        sample.continuityGaps = received.droppedPackets;
        sample.kernelDrops = received.kernelDrops;
        sample.decodedUnits = received.decodedUnits;
        sample.decodeNanos = received.decodeNanos;
        sample.slowestDecodeNanos = receiver->takeSlowestDecode();
        sample.picturesConcealed = received.damagedFrames;
        sample.waitingForKeyframe = received.waitingForKeyframe;
    }
    sample.picturesReplaced = session_->picturesReplaced();
    if (const PixelBuffer& picture = session_->latestFrame(); !picture.empty()) {
        sample.width = picture.width();
        sample.height = picture.height();
    }
    if (!shownTimes_.empty()) {
        sample.lastShown = shownTimes_.back();
    }
    return sample;
}

void StatisticsPresenter::sample() {
    samples_.push_back(counters());
    // The oldest sample kept is the last one at least ten seconds old: the
    // base the figures of the last ten seconds are counted from.
    const double horizon = samples_.back().time - StreamStatistics::recentWindow;
    const auto firstNeeded = std::find_if(samples_.begin() + 1, samples_.end(),
                                          [&](const CounterSample& s) { return s.time > horizon; });
    samples_.erase(samples_.begin(), firstNeeded - 1);

    const std::vector<double> shownTimes(shownTimes_.begin(), shownTimes_.end());
    const StreamFigures figures = StreamStatistics::summarise(samples_, shownTimes);
    values_ = valueLines(figures);
    intervalBars_ = bars(figures.intervals);
    emit updated();
}

} // namespace vistrel
