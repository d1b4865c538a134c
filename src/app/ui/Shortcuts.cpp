#include "ui/Shortcuts.h"

#include "ui/Labels.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

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

QList<QKeySequence> closeWindow() {
    QList<QKeySequence> keys{QKeySequence(Qt::Key_Escape)};
    keys += QKeySequence::keyBindings(QKeySequence::Close);
    return keys;
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

namespace vistrel {

Shortcuts::Shortcuts(QObject* parent) : QObject(parent) {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

QVariantList Shortcuts::closeWindow() {
    QVariantList keys;
    for (const QKeySequence& key : ShortcutKeys::closeWindow()) {
        keys << portable(key);
    }
    return keys;
}

bool Shortcuts::eventFilter(QObject* watched, QEvent* event) {
    // A read-only text that was clicked to copy from holds the keyboard, and
    // Qt Quick's text claims every key before the menus see it. Copying and
    // selecting stay its own; every other key goes on to the shortcuts.
    if (event->type() == QEvent::ShortcutOverride && watched->inherits("QQuickTextEdit") &&
        watched->property("readOnly").toBool()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->matches(QKeySequence::Copy) && !key->matches(QKeySequence::SelectAll)) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vistrel
