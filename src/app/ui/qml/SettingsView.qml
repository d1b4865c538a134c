import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The settings window's content: the SSH user name and fixed facts about
// the connection.
Pane {
    id: root
    required property QtObject presenter
    required property QtObject shell

    readonly property color primary: palette.windowText
    readonly property color secondary: Qt.rgba(primary.r, primary.g, primary.b, 0.55)

    objectName: "settingsView"
    padding: 12
    implicitWidth: 470
    implicitHeight: 280

    Frame {
        anchors.fill: parent
        padding: 14

        GridLayout {
            anchors.fill: parent
            columns: 2
            columnSpacing: 16
            rowSpacing: 10

            Label { text: "SSH username"; Layout.alignment: Qt.AlignRight }
            TextField {
                objectName: "usernameField"
                Layout.fillWidth: true
                text: root.presenter.sshUsername
                enabled: root.presenter.isIdle
                inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                Accessible.name: "SSH username"
                onTextEdited: root.presenter.sshUsername = text
            }

            Label {
                objectName: "usernameHelp"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                text: "Steam Frame uses steamos by default. Your standard SSH keys and SSH agent are supported. Passwords are requested securely when connecting and are never saved by Vistrel."
                wrapMode: Text.WordWrap
                font.pixelSize: 12
                color: root.secondary
            }

            Label { text: "Receiving port"; Layout.alignment: Qt.AlignRight }
            Label { objectName: "portValue"; text: "8090 / UDP"; Layout.fillWidth: true }

            Label { text: "Video"; Layout.alignment: Qt.AlignRight }
            Label { objectName: "videoValue"; text: "H.264 \u00b7 No audio"; Layout.fillWidth: true }

            Button {
                objectName: "openSetupGuideButton"
                Layout.columnSpan: 2
                Layout.alignment: Qt.AlignRight
                text: "Open Setup Guide"
                onClicked: root.shell.showHelp()
            }

            Item { Layout.columnSpan: 2; Layout.fillHeight: true }
        }
    }
}
