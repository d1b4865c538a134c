import QtQuick
import QtQuick.Controls.impl
import QtQuick.Layouts
import Vistrel

// The name and tagline on the left, the session's phase on the right.
RowLayout {
    id: header
    required property SessionPresenter presenter
    required property int phaseAnimation

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
            sourceSize.width: 28
            sourceSize.height: 28
            color: Theme.accent
        }
        ColumnLayout {
            spacing: 3
            Text {
                text: Labels.appName
                font.pixelSize: Theme.appNameSize
                font.weight: Font.DemiBold
                color: Theme.primary
            }
            Text {
                text: Labels.tagline
                font.pixelSize: Theme.bodySize
                color: Theme.secondary
            }
        }
    }
    Item { Layout.fillWidth: true }
    RowLayout {
        objectName: "statusIndicator"
        spacing: 7
        Accessible.role: Accessible.StaticText
        Accessible.name: header.presenter.statusText
        Rectangle {
            objectName: "statusDot"
            implicitWidth: 6
            implicitHeight: 6
            radius: 3
            color: header.presenter.statusDotLit ? Theme.accent : Theme.idleDot
            Behavior on color {
                ColorAnimation { duration: header.phaseAnimation; easing.type: Easing.InOutQuad }
            }
        }
        Text {
            objectName: "statusText"
            text: header.presenter.statusText
            font.pixelSize: Theme.bodySize
            font.weight: Font.Medium
            color: Theme.primary
            Accessible.ignored: true
        }
    }
}
