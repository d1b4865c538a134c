import QtQuick
import QtQuick.Layouts
import Vistrel

// What the video area shows while there is no live picture: a spinner or
// the headset glyph, and what the current phase means.
Item {
    id: placeholder
    required property SessionPresenter presenter
    required property int phaseAnimation

    objectName: "placeholder"
    opacity: presenter.isLive ? 0 : 1
    visible: opacity > 0
    Behavior on opacity {
        NumberAnimation { duration: placeholder.phaseAnimation; easing.type: Easing.InOutQuad }
    }

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 18
        width: Math.min(parent.width, 400)

        Spinner {
            objectName: "spinner"
            Layout.alignment: Qt.AlignHCenter
            visible: placeholder.presenter.showsSpinner
        }
        HeadsetMark {
            objectName: "headsetMark"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 92
            Layout.preferredHeight: 64
            Layout.bottomMargin: 2
            visible: placeholder.presenter.showsHeadsetMark
            strokeColor: Theme.headsetMark
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
                text: placeholder.presenter.placeholderTitle
                font.pixelSize: Theme.placeholderTitleSize
                font.weight: Font.Medium
                color: Theme.placeholderTitle
            }
            Text {
                objectName: "placeholderSubtitle"
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: 400
                text: placeholder.presenter.placeholderSubtitle
                font.pixelSize: Theme.largeSize
                color: Theme.placeholderSubtitle
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }
        }
    }
}
