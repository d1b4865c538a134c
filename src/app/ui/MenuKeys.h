// What the menus show of the keyboard: a command's key at the right of its
// item, the mnemonic letter of a title underlined while Alt is held, and the
// key that opens the first menu. A QML singleton, so that the menus' own
// delegates reach it.
#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

class MenuKeys : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool altHeld READ altHeld NOTIFY altHeldChanged)
    // F10, as GTK and Qt applications on Linux have it.
    Q_PROPERTY(QString openMenuBar READ openMenuBar CONSTANT)

public:
    // Watches the application's key events for Alt.
    explicit MenuKeys(QObject* parent = nullptr);

    [[nodiscard]] bool altHeld() const { return altHeld_; }
    [[nodiscard]] static QString openMenuBar() { return QStringLiteral("F10"); }

    // The key of a portable sequence ("Ctrl+Shift+R") as menus show it.
    Q_INVOKABLE [[nodiscard]] static QString nativeText(const QString& portableSequence);
    // A title with its "&" mnemonic as styled text: the letter underlined
    // when `underlined`, else plain.
    Q_INVOKABLE [[nodiscard]] static QString mnemonicTitle(const QString& title, bool underlined);

signals:
    void altHeldChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool altHeld_ = false;
};

} // namespace vistrel
