import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Vistrel

// The main window with its menus, and the settings window it opens.
ApplicationWindow {
    id: window
    required property SessionPresenter presenter
    required property ShellCommands shell
    required property Shortcuts shortcuts

    objectName: "mainWindow"
    title: Labels.appName
    // The content's own size, with the menu bar above it.
    width: 1000
    height: 720 + menuBar.implicitHeight
    minimumWidth: 680
    minimumHeight: 620 + menuBar.implicitHeight
    color: Theme.background
    visible: true

    menuBar: MenuBar {
        id: menuBar
        objectName: "menuBar"
        delegate: MenuTitle {}
        AppMenu {
            objectName: "fileMenu"
            title: Labels.fileMenu
            Action {
                objectName: "settingsAction"
                text: Labels.settingsItem
                shortcut: window.shortcuts.settings
                onTriggered: {
                    settingsWindow.show()
                    settingsWindow.raise()
                    settingsWindow.requestActivate()
                }
            }
            MenuSeparator {}
            Action {
                id: quitAction
                objectName: "quitAction"
                text: Labels.quitItem
                shortcut: window.shortcuts.quit
                onTriggered: window.shell.quit()
            }
        }
        AppMenu {
            objectName: "streamMenu"
            title: Labels.streamMenu
            Action {
                id: startAction
                objectName: "startAction"
                text: Labels.startItem
                shortcut: window.shortcuts.start
                enabled: window.presenter.canStart
                onTriggered: window.presenter.start()
            }
            Action {
                id: endAction
                objectName: "endAction"
                text: Labels.endItem
                shortcut: window.shortcuts.end
                enabled: window.presenter.endMenuEnabled
                onTriggered: window.presenter.end()
            }
            MenuSeparator {}
            Action {
                id: recordAction
                objectName: "recordAction"
                text: window.presenter.recordMenuTitle
                shortcut: window.shortcuts.record
                enabled: window.presenter.recordEnabled
                onTriggered: window.presenter.toggleRecording()
            }
            Action {
                id: screenshotAction
                objectName: "screenshotAction"
                text: Labels.screenshotItem
                shortcut: window.shortcuts.screenshot
                enabled: window.presenter.screenshotEnabled
                onTriggered: window.presenter.captureScreenshot()
            }
            MenuSeparator {}
            Action {
                id: fullScreenAction
                objectName: "fullScreenAction"
                text: Labels.fullScreenItem
                shortcut: window.shortcuts.fullScreen
                onTriggered: window.shell.toggleFullScreen()
            }
            Action {
                id: statisticsAction
                objectName: "statisticsAction"
                text: Labels.statisticsItem
                shortcut: window.shortcuts.statistics
                checkable: true
                checked: window.presenter.statistics.shown
                onTriggered: window.presenter.statistics.shown = checked
            }
            Action {
                objectName: "copyDiagnosticsAction"
                text: Labels.copyDiagnosticsItem
                onTriggered: window.presenter.copyDiagnostics()
            }
        }
        AppMenu {
            objectName: "helpMenu"
            title: Labels.helpMenu
            Action {
                objectName: "helpAction"
                text: Labels.setupGuideItem
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
        title: Labels.settingsTitle
        transientParent: window
        width: 470
        height: 385
        minimumWidth: 470
        maximumWidth: 470
        minimumHeight: 385
        maximumHeight: 385
        color: Theme.background

        SettingsView {
            anchors.fill: parent
            presenter: window.presenter
            shell: window.shell
        }

        // Escape and the close key close it, as any dialog.
        Shortcut {
            sequences: window.shortcuts.closeWindow
            onActivated: settingsWindow.close()
        }

        // The menus' keys work here too, although the menus are the main
        // window's.
        Instantiator {
            model: [startAction, endAction, recordAction, screenshotAction, fullScreenAction,
                    statisticsAction, quitAction]
            delegate: Shortcut {
                required property Action modelData
                sequence: modelData.shortcut
                enabled: modelData.enabled
                onActivated: modelData.trigger()
            }
        }
    }
}
