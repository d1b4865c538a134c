import QtQuick
import QtQuick.Controls

// A borderless button showing one symbol.
ToolButton {
    id: button
    property url symbol
    property real symbolSize: 12
    property color symbolColor: palette.windowText
    property string tip: ""
    flat: true
    padding: 3
    display: AbstractButton.IconOnly
    icon.source: symbol
    icon.width: symbolSize
    icon.height: symbolSize
    icon.color: symbolColor
    ToolTip.visible: tip.length > 0 && hovered
    ToolTip.text: tip
    ToolTip.delay: 600
}
