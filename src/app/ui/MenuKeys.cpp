#include "ui/MenuKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>

namespace vistrel {

MenuKeys::MenuKeys(QObject* parent) : QObject(parent) {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

QString MenuKeys::nativeText(const QString& portableSequence) {
    return QKeySequence(portableSequence, QKeySequence::PortableText)
        .toString(QKeySequence::NativeText);
}

QString MenuKeys::mnemonicTitle(const QString& title, bool underlined) {
    QString styled;
    for (qsizetype i = 0; i < title.size(); ++i) {
        QString letter(title.at(i));
        if (title.at(i) == QLatin1Char('&') && i + 1 < title.size()) {
            letter = QString(title.at(++i)).toHtmlEscaped(); // "&&" is one "&"
            if (underlined && title.at(i) != QLatin1Char('&')) {
                letter = QStringLiteral("<u>") + letter + QStringLiteral("</u>");
            }
            styled += letter;
            continue;
        }
        styled += letter.toHtmlEscaped();
    }
    return styled;
}

bool MenuKeys::eventFilter(QObject* watched, QEvent* event) {
    bool held = altHeld_;
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        // Alt alone, or still down while another key goes with it.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool altKey = key->key() == Qt::Key_Alt;
        const bool withAlt = key->modifiers().testFlag(Qt::AltModifier);
        held = event->type() == QEvent::KeyPress ? altKey || withAlt : !altKey && withAlt;
    } else if (event->type() == QEvent::ApplicationDeactivate) {
        held = false;
    }
    if (held != altHeld_) {
        altHeld_ = held;
        emit altHeldChanged();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vistrel
