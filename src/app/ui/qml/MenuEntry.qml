import QtQuick
import QtQuick.Controls
import Vistrel

// A menu item with its command's key at the right, as desktop menus show it.
MenuItem {
    id: entry
    readonly property string key: action && action.shortcut
                                  ? MenuKeys.nativeText(action.shortcut) : ""

    rightPadding: padding + (key.length > 0 ? keyText.implicitWidth + 24 : 0)

    Text {
        id: keyText
        objectName: "shortcutText"
        anchors.right: parent.right
        anchors.rightMargin: entry.padding
        anchors.verticalCenter: parent.verticalCenter
        text: entry.key
        font: entry.font
        color: entry.highlighted ? entry.palette.highlightedText : entry.palette.text
        opacity: 0.7
    }
}
