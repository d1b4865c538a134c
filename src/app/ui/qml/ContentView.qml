import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import QtQuick.Shapes
import Vistrel

// The main window's content. It only draws: every text, state and command
// comes from the presenter, which reads the session.
Rectangle {
    id: root
    required property QtObject presenter
    required property QtObject shell
    required property QtObject shortcuts

    readonly property color accent: Qt.rgba(84 / 255, 194 / 255, 168 / 255, 1)
    readonly property color primary: palette.windowText
    readonly property color secondary: Qt.rgba(primary.r, primary.g, primary.b, 0.55)
    readonly property color orange: "#ff9500"
    readonly property string monospace: presenter.monospaceFamily
    readonly property int phaseAnimation: shell.reduceMotion ? 0 : 180

    objectName: "contentView"
    implicitWidth: 1000
    implicitHeight: 720
    color: palette.window

    // Keyboard focus is the view's only own state: at first show the address
    // field takes it exactly when there is no address yet.
    Component.onCompleted: {
        if (presenter.focusAddressAtFirstShow())
            addressField.forceActiveFocus()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // 1. Header
        RowLayout {
            objectName: "header"
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.topMargin: 22
            Layout.bottomMargin: 23
            spacing: 0

            RowLayout {
                spacing: 11
                IconImage {
                    source: "icons/viewfinder.svg"
                    sourceSize: Qt.size(28, 28)
                    color: root.accent
                }
                ColumnLayout {
                    spacing: 3
                    Text {
                        text: "Vistrel"
                        font.pixelSize: 22
                        font.weight: Font.DemiBold
                        color: root.primary
                    }
                    Text {
                        text: root.presenter.tagline
                        font.pixelSize: 12
                        color: root.secondary
                    }
                }
            }
            Item { Layout.fillWidth: true }
            RowLayout {
                objectName: "statusIndicator"
                spacing: 7
                Accessible.role: Accessible.StaticText
                Accessible.name: root.presenter.statusText
                Rectangle {
                    objectName: "statusDot"
                    implicitWidth: 6
                    implicitHeight: 6
                    radius: 3
                    color: root.presenter.isLive ? root.accent
                                                 : Qt.rgba(root.secondary.r, root.secondary.g,
                                                           root.secondary.b, root.secondary.a * 0.5)
                    Behavior on color { ColorAnimation { duration: root.phaseAnimation; easing.type: Easing.InOutQuad } }
                }
                Text {
                    objectName: "statusText"
                    text: root.presenter.statusText
                    font.pixelSize: 12
                    font.weight: Font.Medium
                    color: root.primary
                    Accessible.ignored: true
                }
            }
        }

        // 2. Video area
        Item {
            id: videoArea
            objectName: "videoArea"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: 280
            Layout.leftMargin: 20
            Layout.rightMargin: 20
            Accessible.role: Accessible.Graphic
            Accessible.name: root.presenter.videoAccessibleName

            VideoSurface {
                anchors.fill: parent
                presenter: root.presenter
            }

            Item {
                id: placeholder
                objectName: "placeholder"
                anchors.fill: parent
                anchors.margins: 30
                opacity: root.presenter.isLive ? 0 : 1
                visible: opacity > 0
                Behavior on opacity { NumberAnimation { duration: root.phaseAnimation; easing.type: Easing.InOutQuad } }

                ColumnLayout {
                    anchors.centerIn: parent
                    spacing: 18
                    width: Math.min(parent.width, 400)

                    BusyIndicator {
                        objectName: "spinner"
                        Layout.alignment: Qt.AlignHCenter
                        visible: root.presenter.showsSpinner
                        running: visible
                        implicitWidth: 40
                        implicitHeight: 40
                        palette.dark: root.accent
                        palette.text: root.accent
                        palette.windowText: root.accent
                    }
                    HeadsetMark {
                        objectName: "headsetMark"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.preferredWidth: 92
                        Layout.preferredHeight: 64
                        Layout.bottomMargin: 2
                        visible: root.presenter.showsHeadsetMark
                        strokeColor: Qt.rgba(1, 1, 1, 0.5)
                        lineWidth: 2
                        Accessible.ignored: true
                    }
                    ColumnLayout {
                        spacing: 8
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: 400
                        Text {
                            objectName: "placeholderTitle"
                            Layout.alignment: Qt.AlignHCenter
                            text: root.presenter.placeholderTitle
                            font.pixelSize: 20
                            font.weight: Font.Medium
                            color: Qt.rgba(1, 1, 1, 0.9)
                        }
                        Text {
                            objectName: "placeholderSubtitle"
                            Layout.alignment: Qt.AlignHCenter
                            Layout.maximumWidth: 400
                            text: root.presenter.placeholderSubtitle
                            font.pixelSize: 13
                            color: Qt.rgba(1, 1, 1, 0.43)
                            horizontalAlignment: Text.AlignHCenter
                            wrapMode: Text.WordWrap
                        }
                    }
                }
            }

            Rectangle {
                id: liveBadge
                objectName: "liveBadge"
                x: 18
                y: 18
                opacity: root.presenter.isLive ? 1 : 0
                visible: opacity > 0
                Behavior on opacity { NumberAnimation { duration: root.phaseAnimation; easing.type: Easing.InOutQuad } }
                implicitWidth: badgeRow.implicitWidth + 20
                implicitHeight: badgeRow.implicitHeight + 14
                radius: height / 2
                color: Qt.rgba(0, 0, 0, 0.6)
                Row {
                    id: badgeRow
                    anchors.centerIn: parent
                    spacing: 6
                    Rectangle {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 6
                        height: 6
                        radius: 3
                        color: root.accent
                    }
                    Text {
                        text: "LIVE"
                        font.pixelSize: 10
                        font.bold: true
                        font.family: root.monospace
                        color: "white"
                    }
                }
            }

            // Rounds the corners of the picture and draws the faint outline.
            Shape {
                anchors.fill: parent
                ShapePath {
                    fillColor: root.color
                    fillRule: ShapePath.OddEvenFill
                    strokeColor: "transparent"
                    PathSvg { path: ShapePaths.roundedCornerMask(videoArea.width, videoArea.height, 12) }
                }
                ShapePath {
                    fillColor: "transparent"
                    strokeColor: Qt.rgba(1, 1, 1, 0.07)
                    strokeWidth: 1
                    PathSvg { path: ShapePaths.roundedRect(videoArea.width, videoArea.height, 12, 0.5) }
                }
            }

            TapHandler {
                acceptedButtons: Qt.LeftButton
                onDoubleTapped: root.shell.toggleFullScreen()
            }
        }

        // 3. Status line
        RowLayout {
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
                sourceSize: Qt.size(10, 10)
                color: root.secondary
            }
            Text {
                objectName: "networkText"
                text: root.presenter.networkText
                font.pixelSize: 11
                color: root.secondary
            }
            Text { text: "\u00b7"; font.pixelSize: 11; color: root.secondary }
            Text { text: "Video only"; font.pixelSize: 11; color: root.secondary }
            Item { Layout.fillWidth: true }
            Text {
                objectName: "transportText"
                visible: !root.presenter.showsElapsed
                text: "H.264 / UDP"
                font.pixelSize: 11
                color: root.secondary
            }
            Row {
                visible: root.presenter.showsElapsed
                spacing: 10
                Text {
                    objectName: "streamTimer"
                    anchors.verticalCenter: parent.verticalCenter
                    text: streamClock.text
                    font.pixelSize: 11
                    font.family: root.monospace
                    color: root.secondary
                    ElapsedClock {
                        id: streamClock
                        since: root.presenter.startedAt
                    }
                }
                SymbolButton {
                    objectName: "fullScreenButton"
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: "icons/fullscreen.svg"
                    symbolSize: 11
                    symbolColor: root.secondary
                    tip: root.shortcuts.fullScreenTooltip
                    Accessible.name: "Full Screen"
                    onClicked: root.shell.toggleFullScreen()
                }
            }
        }

        // 4. Capture controls
        RowLayout {
            objectName: "captureControls"
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.bottomMargin: 18
            spacing: 12

            Button {
                objectName: "recordButton"
                text: root.presenter.recordButtonTitle
                font.pixelSize: 12
                icon.source: root.presenter.isRecording ? "icons/stop-circle.svg" : "icons/record.svg"
                icon.width: 14
                icon.height: 14
                enabled: root.presenter.recordEnabled
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: root.shortcuts.recordTooltip
                Accessible.name: text
                onClicked: root.presenter.toggleRecording()
            }
            Button {
                objectName: "screenshotButton"
                text: "Screenshot"
                font.pixelSize: 12
                icon.source: "icons/camera.svg"
                icon.width: 14
                icon.height: 14
                enabled: root.presenter.screenshotEnabled
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: root.shortcuts.screenshotTooltip
                Accessible.name: text
                onClicked: root.presenter.captureScreenshot()
            }
            Item { Layout.fillWidth: true }
            RowLayout {
                objectName: "recordingIndicator"
                visible: root.presenter.isRecording
                spacing: 7
                Rectangle {
                    implicitWidth: 7
                    implicitHeight: 7
                    radius: 3.5
                    color: "#ff3b30"
                    Accessible.ignored: true
                }
                Text { text: "Recording"; font.pixelSize: 12; color: root.secondary }
                Text {
                    objectName: "recordingTimer"
                    text: recordingClock.text
                    font.pixelSize: 12
                    font.family: root.monospace
                    color: root.secondary
                    ElapsedClock {
                        id: recordingClock
                        since: root.presenter.recordingStartedAt
                    }
                }
            }
            RowLayout {
                objectName: "savingIndicator"
                visible: root.presenter.showsSaving
                spacing: 7
                BusyIndicator {
                    running: parent.visible
                    implicitWidth: 16
                    implicitHeight: 16
                    padding: 0
                }
                Text { text: "Saving\u2026"; font.pixelSize: 12; color: root.secondary }
            }
        }

        // 5. Capture notice
        RowLayout {
            objectName: "captureNotice"
            visible: root.presenter.hasCaptureNotice
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.bottomMargin: 16
            spacing: 10

            Text {
                id: noticeText
                objectName: "captureNoticeText"
                Layout.fillWidth: true
                text: root.presenter.captureNotice
                elide: Text.ElideMiddle
                maximumLineCount: 1
                font.pixelSize: 11
                color: root.secondary
                HoverHandler { id: noticeHover }
                ToolTip.visible: noticeHover.hovered
                ToolTip.delay: 600
                ToolTip.text: root.presenter.captureNotice
            }
            LinkButton {
                objectName: "showInFolderLink"
                text: root.presenter.showInFolderTitle
                pixelSize: 11
                onClicked: root.presenter.revealLastCapture()
            }
            SymbolButton {
                objectName: "dismissNoticeButton"
                symbol: "icons/xmark.svg"
                symbolSize: 9
                symbolColor: root.secondary
                Accessible.name: "Dismiss saved capture notification"
                onClicked: root.presenter.dismissCaptureNotice()
            }
        }

        // 6. Divider
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: palette.mid
            opacity: 0.6
        }

        // 7. Connection panel
        ColumnLayout {
            objectName: "connectionPanel"
            Layout.fillWidth: true
            Layout.leftMargin: 28
            Layout.rightMargin: 28
            Layout.topMargin: 22
            Layout.bottomMargin: 22
            spacing: 12

            Rectangle {
                objectName: "errorBox"
                visible: root.presenter.hasError
                Layout.fillWidth: true
                implicitHeight: errorRow.implicitHeight + 24
                radius: 8
                color: Qt.rgba(1, 149 / 255, 0, 0.08)

                RowLayout {
                    id: errorRow
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 9
                    IconImage {
                        Layout.alignment: Qt.AlignTop
                        source: "icons/exclamation.svg"
                        sourceSize: Qt.size(15, 15)
                        color: root.orange
                    }
                    TextEdit {
                        objectName: "errorText"
                        Layout.fillWidth: true
                        Layout.alignment: Qt.AlignTop
                        text: root.presenter.error
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextEdit.Wrap
                        horizontalAlignment: TextEdit.AlignLeft
                        font.pixelSize: 12
                        color: root.primary
                        selectionColor: palette.highlight
                        selectedTextColor: palette.highlightedText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    SymbolButton {
                        objectName: "dismissErrorButton"
                        Layout.alignment: Qt.AlignTop
                        symbol: "icons/xmark.svg"
                        symbolSize: 9
                        symbolColor: root.secondary
                        Accessible.name: "Dismiss error"
                        onClicked: root.presenter.dismissError()
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 14

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignBottom
                    spacing: 6
                    Text {
                        text: "STEAM FRAME ADDRESS"
                        font.pixelSize: 10
                        font.weight: Font.DemiBold
                        font.letterSpacing: 1.1
                        color: root.secondary
                    }
                    TextField {
                        id: addressField
                        objectName: "addressField"
                        Layout.fillWidth: true
                        implicitHeight: 40
                        leftPadding: 12
                        rightPadding: 12
                        font.pixelSize: 15
                        font.family: root.monospace
                        placeholderText: "192.168.4.10"
                        text: root.presenter.host
                        enabled: root.presenter.addressEditable
                        inputMethodHints: Qt.ImhNoPredictiveText
                        Accessible.name: "Steam Frame IP address"
                        onTextEdited: root.presenter.host = text
                        onAccepted: root.presenter.submitAddress()
                        background: Rectangle {
                            radius: 7
                            color: Qt.rgba(root.primary.r, root.primary.g, root.primary.b, 0.04)
                            border.width: 1
                            border.color: addressField.activeFocus
                                          ? root.accent
                                          : Qt.rgba(root.primary.r, root.primary.g, root.primary.b, 0.12)
                        }
                    }
                }

                Button {
                    objectName: "streamButton"
                    Layout.alignment: Qt.AlignBottom
                    implicitWidth: 100
                    implicitHeight: 32
                    text: "Stream"
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    icon.source: "icons/play.svg"
                    icon.width: 12
                    icon.height: 12
                    icon.color: "white"
                    enabled: root.presenter.canStart
                    palette.button: root.accent
                    palette.buttonText: "white"
                    opacity: enabled ? 1 : 0.55
                    ToolTip.visible: hovered
                    ToolTip.delay: 600
                    ToolTip.text: root.shortcuts.startTooltip
                    Accessible.name: text
                    onClicked: root.presenter.start()
                }
                Button {
                    objectName: "endButton"
                    Layout.alignment: Qt.AlignBottom
                    implicitWidth: 72
                    implicitHeight: 32
                    text: "End"
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    icon.source: "icons/stop.svg"
                    icon.width: 11
                    icon.height: 11
                    enabled: root.presenter.endButtonEnabled
                    ToolTip.visible: hovered
                    ToolTip.delay: 600
                    ToolTip.text: root.shortcuts.endTooltip
                    Accessible.name: text
                    onClicked: root.presenter.end()
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 8
                Text {
                    text: "Enable SSH in your headset\u2019s Developer Mode to connect."
                    font.pixelSize: 11
                    color: root.secondary
                }
                Item { Layout.fillWidth: true }
                LinkButton {
                    objectName: "setupGuideLink"
                    text: "Setup Guide"
                    pixelSize: 11
                    onClicked: root.shell.showHelp()
                }
            }
        }
    }
}
