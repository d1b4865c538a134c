import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vistrel

// The settings window's content: the SSH user name, what to do when packets
// are lost, and fixed facts about the connection.
Pane {
    id: root
    required property SessionPresenter presenter
    required property ShellCommands shell

    objectName: "settingsView"
    padding: 12
    implicitWidth: 470
    implicitHeight: 385

    Frame {
        anchors.fill: parent
        padding: 14

        GridLayout {
            anchors.fill: parent
            columns: 2
            columnSpacing: 16
            rowSpacing: 10

            Label { text: Labels.username; Layout.alignment: Qt.AlignRight }
            TextField {
                objectName: "usernameField"
                Layout.fillWidth: true
                text: root.presenter.sshUsername
                enabled: root.presenter.isIdle
                inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                Accessible.name: Labels.username
                onTextEdited: root.presenter.sshUsername = text
            }

            Label {
                objectName: "usernameHelp"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                text: Labels.usernameHelp
                wrapMode: Text.WordWrap
                font.pixelSize: Theme.bodySize
                color: Theme.secondary
            }

            Label {
                text: Labels.lossPolicy
                Layout.alignment: Qt.AlignRight | Qt.AlignTop
                Layout.topMargin: 6
            }
            ColumnLayout {
                spacing: 0
                Layout.fillWidth: true
                RadioButton {
                    objectName: "holdPictureButton"
                    text: Labels.holdPicture
                    checked: !root.presenter.keepsPictureMoving
                    onToggled: root.presenter.keepsPictureMoving = false
                }
                RadioButton {
                    objectName: "keepPictureMovingButton"
                    text: Labels.keepPictureMoving
                    checked: root.presenter.keepsPictureMoving
                    onToggled: root.presenter.keepsPictureMoving = true
                }
            }

            Label {
                objectName: "lossPolicyHelp"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                text: Labels.lossPolicyHelp
                wrapMode: Text.WordWrap
                font.pixelSize: Theme.bodySize
                color: Theme.secondary
            }

            Label { text: Labels.receivingPort; Layout.alignment: Qt.AlignRight }
            Label { objectName: "portValue"; text: Labels.portValue; Layout.fillWidth: true }

            Label { text: Labels.video; Layout.alignment: Qt.AlignRight }
            Label { objectName: "videoValue"; text: Labels.videoValue; Layout.fillWidth: true }

            Button {
                objectName: "openSetupGuideButton"
                Layout.columnSpan: 2
                Layout.alignment: Qt.AlignRight
                text: Labels.openSetupGuide
                onClicked: root.shell.showHelp()
            }

            Item { Layout.columnSpan: 2; Layout.fillHeight: true }
        }
    }
}
