#include "ui/Shortcuts.h"

#include "ui/Labels.h"

namespace vistrel {

namespace ShortcutKeys {

namespace {
QKeySequence firstBinding(QKeySequence::StandardKey key, const char* fallback) {
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? QKeySequence(QString::fromLatin1(fallback)) : bindings.first();
}
} // namespace

// Ctrl is Command on macOS: Qt swaps them there.
QKeySequence start() {
    return QKeySequence(QStringLiteral("Ctrl+R"));
}
QKeySequence end() {
    return QKeySequence(QStringLiteral("Ctrl+."));
}
QKeySequence record() {
    return QKeySequence(QStringLiteral("Ctrl+Shift+R"));
}
QKeySequence screenshot() {
    return QKeySequence(QStringLiteral("Ctrl+Shift+S"));
}
// I for information, as media players name their statistics; a plain
// Ctrl+letter like Start, since it changes only the view, and no standard key
// of a text field outside rich text.
QKeySequence statistics() {
    return QKeySequence(QStringLiteral("Ctrl+I"));
}
QKeySequence fullScreen() {
    return firstBinding(QKeySequence::FullScreen, "F11");
}
QKeySequence settings() {
    return firstBinding(QKeySequence::Preferences, "Ctrl+,");
}
QKeySequence quit() {
    return firstBinding(QKeySequence::Quit, "Ctrl+Q");
}

QString tooltip(const QString& text, const QKeySequence& key) {
    return QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText));
}

} // namespace ShortcutKeys

QString Shortcuts::startTooltip() {
    return ShortcutKeys::tooltip(Labels::startTip(), ShortcutKeys::start());
}
QString Shortcuts::endTooltip() {
    return ShortcutKeys::tooltip(Labels::endTip(), ShortcutKeys::end());
}
QString Shortcuts::recordTooltip() {
    return ShortcutKeys::tooltip(Labels::recordTip(), ShortcutKeys::record());
}
QString Shortcuts::screenshotTooltip() {
    return ShortcutKeys::tooltip(Labels::screenshotTip(), ShortcutKeys::screenshot());
}
QString Shortcuts::fullScreenTooltip() {
    return ShortcutKeys::tooltip(Labels::fullScreen(), ShortcutKeys::fullScreen());
}

} // namespace vistrel
