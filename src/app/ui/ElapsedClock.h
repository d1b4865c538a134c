// A live counter for the window: given a start time it publishes the elapsed
// time as text and keeps it current on its own, without any change of the
// session, while it is running.
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

signals:
    void sinceChanged();
    void textChanged();

private:
    void refresh();

    QDateTime since_;
    QString text_;
    QTimer ticker_;
};

} // namespace vistrel
