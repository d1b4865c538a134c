import QtQuick
import QtQuick.Controls.impl
import QtQuick.Layouts
import Vistrel

// The session's error, selectable for copying, until dismissed.
Rectangle {
    id: box
    required property SessionPresenter presenter

    objectName: "errorBox"
    visible: presenter.hasError
    implicitHeight: errorRow.implicitHeight + 24
    radius: 8
    color: Theme.errorFill

    RowLayout {
        id: errorRow
        anchors.fill: parent
        anchors.margins: 12
        spacing: 9
        IconImage {
            Layout.alignment: Qt.AlignTop
            source: "icons/exclamation.svg"
            sourceSize.width: 15
            sourceSize.height: 15
            color: Theme.orange
        }
        TextEdit {
            objectName: "errorText"
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            text: box.presenter.error
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            horizontalAlignment: TextEdit.AlignLeft
            font.pixelSize: Theme.bodySize
            color: Theme.primary
            selectionColor: Theme.system.highlight
            selectedTextColor: Theme.system.highlightedText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        SymbolButton {
            objectName: "dismissErrorButton"
            Layout.alignment: Qt.AlignTop
            symbol: "icons/xmark.svg"
            symbolSize: 9
            Accessible.name: Labels.dismissError
            onClicked: box.presenter.dismissError()
        }
    }
}
