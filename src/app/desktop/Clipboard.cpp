#include "desktop/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace vistrel {

void SystemClipboard::setText(const QString& text) {
    // setText replaces the clipboard's whole content, every format included.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

} // namespace vistrel
