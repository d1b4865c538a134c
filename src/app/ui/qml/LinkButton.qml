import QtQuick
import QtQuick.Controls

// A button that reads as a link: accent-free link colour, underlined on hover.
AbstractButton {
    id: link
    property real pixelSize: 11
    hoverEnabled: true
    padding: 0
    Accessible.role: Accessible.Link
    Accessible.name: text
    contentItem: Text {
        text: link.text
        font.pixelSize: link.pixelSize
        font.underline: link.hovered
        color: link.palette.link
    }
    HoverHandler { cursorShape: Qt.PointingHandCursor }
}
