// A live counter for the window: given a start time it publishes the elapsed
// time as text and keeps it current on its own, without any change of the
// session, while it is running. While pictures come, the window calls
// catchUp() with each one, so that the new second is drawn with a picture
// rather than in a frame of its own.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

class ElapsedClock : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QDateTime since READ since WRITE setSince NOTIFY sinceChanged)
    Q_PROPERTY(QString text READ text NOTIFY textChanged)

public:
    explicit ElapsedClock(QObject* parent = nullptr);

    [[nodiscard]] QDateTime since() const { return since_; }
    void setSince(const QDateTime& since);
    [[nodiscard]] QString text() const { return text_; }

    // The text as of now, at once.
    Q_INVOKABLE void catchUp() { refresh(); }

signals:
    void sinceChanged();
    void textChanged();

private:
    void refresh();
    // The timer's refresh: only once the second has been due a while.
    void check();

    QDateTime since_;
    QString text_;
    QTimer ticker_;
};

} // namespace vistrel
