import QtQuick
import QtQuick.Layouts
import QtQuick.Shapes
import Vistrel

// The picture, or the placeholder while there is none, with the LIVE badge,
// rounded corners and a faint outline. A double click toggles full screen.
Item {
    id: area
    required property SessionPresenter presenter
    required property ShellCommands shell
    required property int phaseAnimation
    // What lies around the area: the rounded corners are painted in it.
    required property color surroundings

    objectName: "videoArea"
    Layout.fillWidth: true
    Layout.fillHeight: true
    Layout.minimumHeight: 280
    Layout.leftMargin: 20
    Layout.rightMargin: 20
    Accessible.role: Accessible.Graphic
    Accessible.name: presenter.videoAccessibleName

    VideoSurface {
        anchors.fill: parent
        presenter: area.presenter
    }

    Placeholder {
        anchors.fill: parent
        anchors.margins: 30
        presenter: area.presenter
        phaseAnimation: area.phaseAnimation
    }

    Rectangle {
        objectName: "liveBadge"
        x: 18
        y: 18
        opacity: area.presenter.isLive ? 1 : 0
        visible: opacity > 0
        Behavior on opacity {
            enabled: area.phaseAnimation > 0
            NumberAnimation { duration: area.phaseAnimation; easing.type: Easing.InOutQuad }
        }
        implicitWidth: badgeRow.implicitWidth + 20
        implicitHeight: badgeRow.implicitHeight + 14
        radius: height / 2
        color: Theme.badgeFill
        Row {
            id: badgeRow
            anchors.centerIn: parent
            spacing: 6
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 6
                height: 6
                radius: 3
                color: area.presenter.isPictureHeld ? Theme.idleDot : Theme.accent
            }
            Text {
                objectName: "badgeText"
                text: area.presenter.badgeText
                font.pixelSize: Theme.smallSize
                font.bold: true
                font.family: area.presenter.monospaceFamily
                color: Theme.onColour
            }
        }
    }

    StatsOverlay {
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 18
        width: Math.min(implicitWidth, area.width / 2 - 36)
        presenter: area.presenter
    }

    // Copy Diagnostics and the like confirm themselves here for a moment.
    Rectangle {
        objectName: "confirmation"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 18
        visible: area.presenter.hasConfirmation
        implicitWidth: confirmationText.implicitWidth + 24
        implicitHeight: confirmationText.implicitHeight + 12
        radius: height / 2
        color: Theme.badgeFill
        Text {
            id: confirmationText
            objectName: "confirmationText"
            anchors.centerIn: parent
            text: area.presenter.confirmation
            font.pixelSize: Theme.bodySize
            color: Theme.onColour
        }
    }

    // Rounds the corners of the picture and draws the faint outline.
    Shape {
        anchors.fill: parent
        ShapePath {
            fillColor: area.surroundings
            fillRule: ShapePath.OddEvenFill
            strokeColor: "transparent"
            PathSvg { path: ShapePaths.roundedCornerMask(area.width, area.height, 12) }
        }
        ShapePath {
            fillColor: "transparent"
            strokeColor: Theme.videoOutline
            strokeWidth: 1
            PathSvg { path: ShapePaths.roundedRect(area.width, area.height, 12, 0.5) }
        }
    }

    // A click here takes the keyboard from a field or a text, back to the window.
    TapHandler {
        acceptedButtons: Qt.LeftButton
        onTapped: area.forceActiveFocus()
        onDoubleTapped: area.shell.toggleFullScreen()
    }
}
