// The keyboard shortcuts of the menus and the tooltips that name them, in the
// platform's own spelling ("Ctrl+R" here, "⌘R" on macOS).
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

namespace ShortcutKeys {

QKeySequence start();      // Start Streaming
QKeySequence end();        // End Streaming
QKeySequence record();     // Record Video… / Stop Recording
QKeySequence screenshot(); // Save Screenshot…
QKeySequence fullScreen(); // the platform's full-screen key
QKeySequence statistics(); // Show Statistics
QKeySequence settings();   // the platform's preferences key, Ctrl+, where it has none
QKeySequence quit();
QList<QKeySequence> closeWindow(); // Escape and the platform's close keys (Ctrl+W)

// "<text> (<native key text>)", the form every tooltip that names a key uses.
QString tooltip(const QString& text, const QKeySequence& key);

} // namespace ShortcutKeys

// The same, for QML: portable sequences for Action.shortcut and Shortcut,
// and finished tooltip texts. It also keeps the menus' keys working while a
// read-only text that was clicked holds the keyboard.
class Shortcuts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")
    Q_PROPERTY(QVariantList closeWindow READ closeWindow CONSTANT)
    Q_PROPERTY(QString start READ start CONSTANT)
    Q_PROPERTY(QString end READ end CONSTANT)
    Q_PROPERTY(QString record READ record CONSTANT)
    Q_PROPERTY(QString screenshot READ screenshot CONSTANT)
    Q_PROPERTY(QString fullScreen READ fullScreen CONSTANT)
    Q_PROPERTY(QString statistics READ statistics CONSTANT)
    Q_PROPERTY(QString settings READ settings CONSTANT)
    Q_PROPERTY(QString quit READ quit CONSTANT)
    Q_PROPERTY(QString startTooltip READ startTooltip CONSTANT)
    Q_PROPERTY(QString endTooltip READ endTooltip CONSTANT)
    Q_PROPERTY(QString recordTooltip READ recordTooltip CONSTANT)
    Q_PROPERTY(QString screenshotTooltip READ screenshotTooltip CONSTANT)
    Q_PROPERTY(QString fullScreenTooltip READ fullScreenTooltip CONSTANT)

public:
    // Watches the application's shortcut events.
    explicit Shortcuts(QObject* parent = nullptr);

    [[nodiscard]] static QString start() { return portable(ShortcutKeys::start()); }
    [[nodiscard]] static QString end() { return portable(ShortcutKeys::end()); }
    [[nodiscard]] static QString record() { return portable(ShortcutKeys::record()); }
    [[nodiscard]] static QString screenshot() { return portable(ShortcutKeys::screenshot()); }
    [[nodiscard]] static QString fullScreen() { return portable(ShortcutKeys::fullScreen()); }
    [[nodiscard]] static QString statistics() { return portable(ShortcutKeys::statistics()); }
    [[nodiscard]] static QString settings() { return portable(ShortcutKeys::settings()); }
    [[nodiscard]] static QString quit() { return portable(ShortcutKeys::quit()); }
    [[nodiscard]] static QString startTooltip();
    [[nodiscard]] static QString endTooltip();
    [[nodiscard]] static QString recordTooltip();
    [[nodiscard]] static QString screenshotTooltip();
    [[nodiscard]] static QString fullScreenTooltip();
    [[nodiscard]] static QVariantList closeWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QString portable(const QKeySequence& k) {
        return k.toString(QKeySequence::PortableText);
    }
};

} // namespace vistrel
