import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Vistrel

// The main window with its menus, and the settings window it opens.
ApplicationWindow {
    id: window
    required property QtObject presenter
    required property QtObject shell
    required property QtObject shortcuts

    objectName: "mainWindow"
    title: "Vistrel"
    width: 1000
    height: 720
    minimumWidth: 680
    minimumHeight: 620 + menuBar.implicitHeight
    visible: true

    menuBar: MenuBar {
        objectName: "menuBar"
        Menu {
            objectName: "fileMenu"
            title: "&File"
            Action {
                objectName: "settingsAction"
                text: "Settings\u2026"
                shortcut: window.shortcuts.settings
                onTriggered: {
                    settingsWindow.show()
                    settingsWindow.raise()
                    settingsWindow.requestActivate()
                }
            }
            MenuSeparator {}
            Action {
                objectName: "quitAction"
                text: "Quit"
                shortcut: window.shortcuts.quit
                onTriggered: window.shell.quit()
            }
        }
        Menu {
            objectName: "streamMenu"
            title: "&Stream"
            Action {
                objectName: "startAction"
                text: "Start Streaming"
                shortcut: window.shortcuts.start
                enabled: window.presenter.canStart
                onTriggered: window.presenter.start()
            }
            Action {
                objectName: "endAction"
                text: "End Streaming"
                shortcut: window.shortcuts.end
                enabled: window.presenter.endMenuEnabled
                onTriggered: window.presenter.end()
            }
            MenuSeparator {}
            Action {
                objectName: "recordAction"
                text: window.presenter.recordMenuTitle
                shortcut: window.shortcuts.record
                enabled: window.presenter.recordEnabled
                onTriggered: window.presenter.toggleRecording()
            }
            Action {
                objectName: "screenshotAction"
                text: "Save Screenshot\u2026"
                shortcut: window.shortcuts.screenshot
                enabled: window.presenter.screenshotEnabled
                onTriggered: window.presenter.captureScreenshot()
            }
            MenuSeparator {}
            Action {
                objectName: "fullScreenAction"
                text: "Enter Full Screen"
                shortcut: window.shortcuts.fullScreen
                onTriggered: window.shell.toggleFullScreen()
            }
            Action {
                objectName: "copyDiagnosticsAction"
                text: "Copy Diagnostics"
                onTriggered: window.presenter.copyDiagnostics()
            }
        }
        Menu {
            objectName: "helpMenu"
            title: "&Help"
            Action {
                objectName: "helpAction"
                text: "Vistrel Setup Guide"
                onTriggered: window.shell.showHelp()
            }
        }
    }

    ContentView {
        anchors.fill: parent
        presenter: window.presenter
        shell: window.shell
        shortcuts: window.shortcuts
    }

    Window {
        id: settingsWindow
        objectName: "settingsWindow"
        title: "Settings"
        transientParent: window
        width: 470
        height: 280
        minimumWidth: 470
        maximumWidth: 470
        minimumHeight: 280
        maximumHeight: 280
        color: palette.window

        SettingsView {
            anchors.fill: parent
            presenter: window.presenter
            shell: window.shell
        }
    }
}
