import QtQuick
import QtQuick.Controls.impl
import QtQuick.Layouts
import Vistrel

// What the stream is (network or resolution, video only) and, once a
// picture has come, how long it has run, with the full-screen button.
RowLayout {
    id: line
    required property SessionPresenter presenter
    required property ShellCommands shell
    required property Shortcuts shortcuts

    objectName: "statusLine"
    Layout.fillWidth: true
    Layout.leftMargin: 28
    Layout.rightMargin: 28
    Layout.topMargin: 12
    Layout.bottomMargin: 20
    Layout.preferredHeight: 22
    spacing: 7

    IconImage {
        source: "icons/network.svg"
        sourceSize.width: 10
        sourceSize.height: 10
        color: Theme.secondary
    }
    Text {
        objectName: "networkText"
        text: line.presenter.networkText
        font.pixelSize: Theme.captionSize
        color: Theme.secondary
    }
    Text {
        text: Labels.separator
        font.pixelSize: Theme.captionSize
        color: Theme.secondary
    }
    Text {
        text: Labels.videoOnly
        font.pixelSize: Theme.captionSize
        color: Theme.secondary
    }
    Item { Layout.fillWidth: true }
    Text {
        objectName: "transportText"
        visible: !line.presenter.showsElapsed
        text: Labels.transport
        font.pixelSize: Theme.captionSize
        color: Theme.secondary
    }
    Row {
        visible: line.presenter.showsElapsed
        spacing: 10
        Text {
            objectName: "streamTimer"
            anchors.verticalCenter: parent.verticalCenter
            text: streamClock.text
            font.pixelSize: Theme.captionSize
            font.family: line.presenter.monospaceFamily
            color: Theme.secondary
            ElapsedClock {
                id: streamClock
                since: line.presenter.startedAt
            }
            Connections {
                target: line.presenter
                function onPictureShown() { streamClock.catchUp() }
            }
        }
        SymbolButton {
            objectName: "fullScreenButton"
            anchors.verticalCenter: parent.verticalCenter
            symbol: "icons/fullscreen.svg"
            symbolSize: 11
            tip: line.shortcuts.fullScreenTooltip
            Accessible.name: Labels.fullScreen
            onClicked: line.shell.toggleFullScreen()
        }
    }
}
