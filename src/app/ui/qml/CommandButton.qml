import QtQuick
import QtQuick.Controls
import Vistrel

// The window's command buttons (Stream, End, Record, Screenshot): a label
// with an icon drawn in the label's colour, so that both grey together when
// the button is disabled, and a tooltip that names the key doing the same.
Button {
    property string tip

    font.pixelSize: Theme.bodySize
    icon.width: 14
    icon.height: 14
    icon.color: palette.buttonText
    ToolTip.visible: hovered
    ToolTip.delay: Theme.tooltipDelay
    ToolTip.text: tip
    Accessible.name: text
}
