import QtQuick
import QtQuick.Layouts
import Vistrel

// The record and screenshot commands, the notice of the last saved capture
// in the row's free middle (so that it moves neither the buttons nor the
// picture when it comes and goes), and what is being recorded or saved.
RowLayout {
    id: controls
    required property SessionPresenter presenter
    required property Shortcuts shortcuts

    objectName: "captureControls"
    Layout.fillWidth: true
    Layout.leftMargin: 28
    Layout.rightMargin: 28
    Layout.bottomMargin: 18
    spacing: 12

    CommandButton {
        objectName: "recordButton"
        text: controls.presenter.recordButtonTitle
        icon.source: controls.presenter.isRecording ? "icons/stop-circle.svg" : "icons/record.svg"
        enabled: controls.presenter.recordEnabled
        tip: controls.shortcuts.recordTooltip
        onClicked: controls.presenter.toggleRecording()
    }
    CommandButton {
        objectName: "screenshotButton"
        text: Labels.screenshot
        icon.source: "icons/camera.svg"
        enabled: controls.presenter.screenshotEnabled
        tip: controls.shortcuts.screenshotTooltip
        onClicked: controls.presenter.captureScreenshot()
    }
    // As wide as it needs, up to all the row has free: only then is the
    // name cut. The space after it takes what is left.
    CaptureNotice {
        id: notice
        Layout.fillWidth: true
        Layout.maximumWidth: implicitWidth
        Layout.leftMargin: 4
        presenter: controls.presenter
    }
    Item {
        Layout.fillWidth: true
    }
    RowLayout {
        objectName: "recordingIndicator"
        visible: controls.presenter.isRecording
        spacing: 7
        Rectangle {
            implicitWidth: 7
            implicitHeight: 7
            radius: 3.5
            color: Theme.recordingDot
            Accessible.ignored: true
        }
        Text {
            text: Labels.recording
            font.pixelSize: Theme.bodySize
            color: Theme.secondary
        }
        Text {
            objectName: "recordingTimer"
            text: recordingClock.text
            font.pixelSize: Theme.bodySize
            font.family: controls.presenter.monospaceFamily
            color: Theme.secondary
            ElapsedClock {
                id: recordingClock
                since: controls.presenter.recordingStartedAt
            }
            Connections {
                target: controls.presenter
                function onPictureShown() { recordingClock.catchUp() }
            }
        }
    }
    RowLayout {
        objectName: "savingIndicator"
        visible: controls.presenter.showsSaving
        spacing: 7
        Spinner {
            implicitWidth: 16
            implicitHeight: 16
            color: Theme.primary
        }
        Text {
            text: Labels.saving
            font.pixelSize: Theme.bodySize
            color: Theme.secondary
        }
    }
}
