import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vistrel

// Below the divider: the error, the headset's address with the Stream and
// End buttons, and where to read how to set the headset up.
ColumnLayout {
    id: panel
    required property SessionPresenter presenter
    required property ShellCommands shell
    required property Shortcuts shortcuts

    objectName: "connectionPanel"
    Layout.fillWidth: true
    Layout.leftMargin: 28
    Layout.rightMargin: 28
    Layout.topMargin: 22
    Layout.bottomMargin: 22
    spacing: 12

    // Keyboard focus is the window's only own state: at first show the
    // address field takes it exactly when there is no address yet.
    Component.onCompleted: {
        if (presenter.focusAddressAtFirstShow())
            addressField.forceActiveFocus()
    }

    ErrorBox {
        Layout.fillWidth: true
        presenter: panel.presenter
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 14

        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignBottom
            spacing: 6
            Text {
                text: Labels.addressHeading
                font.pixelSize: Theme.smallSize
                font.weight: Font.DemiBold
                font.letterSpacing: 1.1
                color: Theme.secondary
            }
            TextField {
                id: addressField
                objectName: "addressField"
                Layout.fillWidth: true
                implicitHeight: 40
                leftPadding: 12
                rightPadding: 12
                font.pixelSize: Theme.addressSize
                font.family: panel.presenter.monospaceFamily
                placeholderText: Labels.addressExample
                text: panel.presenter.host
                enabled: panel.presenter.addressEditable
                inputMethodHints: Qt.ImhNoPredictiveText
                Accessible.name: Labels.addressField
                onTextEdited: panel.presenter.host = text
                onAccepted: panel.presenter.submitAddress()
                background: Rectangle {
                    radius: 7
                    color: Theme.fieldFill
                    border.width: 1
                    border.color: addressField.activeFocus ? Theme.accent : Theme.fieldBorder
                }
            }
        }

        CommandButton {
            objectName: "streamButton"
            Layout.alignment: Qt.AlignBottom
            implicitWidth: 100
            implicitHeight: 32
            text: Labels.stream
            font.pixelSize: Theme.largeSize
            font.weight: Font.DemiBold
            icon.source: "icons/play.svg"
            icon.width: 12
            icon.height: 12
            enabled: panel.presenter.canStart
            // Filled with the accent; disabled, it fades as a whole.
            palette.button: Theme.accent
            palette.buttonText: Theme.onColour
            opacity: enabled ? 1 : 0.55
            Behavior on opacity {
                enabled: !panel.shell.reduceMotion
                NumberAnimation { duration: Theme.phaseAnimation; easing.type: Easing.InOutQuad }
            }
            tip: panel.shortcuts.startTooltip
            onClicked: panel.presenter.start()
        }
        CommandButton {
            objectName: "endButton"
            Layout.alignment: Qt.AlignBottom
            implicitWidth: 72
            implicitHeight: 32
            text: Labels.end
            font.pixelSize: Theme.largeSize
            font.weight: Font.Medium
            icon.source: "icons/stop.svg"
            icon.width: 11
            icon.height: 11
            enabled: panel.presenter.endButtonEnabled
            tip: panel.shortcuts.endTooltip
            onClicked: panel.presenter.end()
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        Text {
            text: Labels.sshHint
            font.pixelSize: Theme.captionSize
            color: Theme.secondary
        }
        Item { Layout.fillWidth: true }
        LinkButton {
            objectName: "setupGuideLink"
            text: Labels.setupGuide
            pixelSize: Theme.captionSize
            onClicked: panel.shell.showHelp()
        }
    }
}
