import QtQuick
import QtQuick.Layouts
import Vistrel

// The main window's content, one region per file, top to bottom. It only
// draws: every text, state and command comes from the presenter, which
// reads the session. The window's own colour is its background: a
// rectangle here would be drawn again with every picture.
Item {
    id: root
    required property SessionPresenter presenter
    required property ShellCommands shell
    required property Shortcuts shortcuts
    // How long a phase change animates; with reduced motion it switches.
    readonly property int phaseAnimation: shell.reduceMotion ? 0 : Theme.phaseAnimation

    objectName: "contentView"
    implicitWidth: 1000
    implicitHeight: 720

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        WindowHeader {
            presenter: root.presenter
            phaseAnimation: root.phaseAnimation
        }
        VideoArea {
            presenter: root.presenter
            shell: root.shell
            phaseAnimation: root.phaseAnimation
            surroundings: Theme.background
        }
        StatusLine {
            presenter: root.presenter
            shell: root.shell
            shortcuts: root.shortcuts
        }
        CaptureControls {
            presenter: root.presenter
            shortcuts: root.shortcuts
        }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.divider
            opacity: 0.6
        }
        ConnectionPanel {
            presenter: root.presenter
            shell: root.shell
            shortcuts: root.shortcuts
        }
    }
}
