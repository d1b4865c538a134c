import QtQuick
import QtQuick.Controls
import Vistrel

// A borderless button showing one symbol.
ToolButton {
    property url symbol
    property real symbolSize: 12
    property color symbolColor: Theme.secondary
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
    ToolTip.delay: Theme.tooltipDelay
}
