import QtQuick
import QtQuick.Controls
import Vistrel

// A title in the menu bar: its mnemonic letter underlined while Alt is held.
// The first one also opens on F10, as menus do elsewhere on this desktop.
MenuBarItem {
    id: title

    contentItem: Text {
        text: MenuKeys.mnemonicTitle(title.text, MenuKeys.altHeld)
        textFormat: Text.StyledText
        font: title.font
        color: title.highlighted ? title.palette.highlightedText : title.palette.windowText
        verticalAlignment: Text.AlignVCenter
    }

    Shortcut {
        sequence: MenuKeys.openMenuBar
        enabled: title.menuBar !== null && title.menu === title.menuBar.menuAt(0)
        onActivated: title.triggered()
    }
}
