import QtQuick
import QtQuick.Layouts
import Vistrel

// What the video area shows while there is no live picture: a spinner or
// the headset glyph, and what the current phase means. A phase change fades
// the glyph into the spinner and the old texts into the new ones.
Item {
    id: placeholder
    required property SessionPresenter presenter
    required property int phaseAnimation
    readonly property bool animates: phaseAnimation > 0

    objectName: "placeholder"
    opacity: presenter.isLive ? 0 : 1
    visible: opacity > 0
    Behavior on opacity {
        enabled: placeholder.animates
        NumberAnimation { duration: placeholder.phaseAnimation; easing.type: Easing.InOutQuad }
    }

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 18
        width: Math.min(parent.width, 400)

        // The glyph and the spinner share a place and cross-fade; the place
        // takes the height of the one that shows.
        Item {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 92
            implicitHeight: placeholder.presenter.showsHeadsetMark ? 66 : 40
            Behavior on implicitHeight {
                enabled: placeholder.animates
                NumberAnimation { duration: placeholder.phaseAnimation; easing.type: Easing.InOutQuad }
            }

            Spinner {
                objectName: "spinner"
                anchors.centerIn: parent
                opacity: placeholder.presenter.showsSpinner ? 1 : 0
                visible: opacity > 0
                Behavior on opacity {
                    enabled: placeholder.animates
                    NumberAnimation { duration: placeholder.phaseAnimation; easing.type: Easing.InOutQuad }
                }
            }
            HeadsetMark {
                objectName: "headsetMark"
                anchors.top: parent.top
                anchors.horizontalCenter: parent.horizontalCenter
                width: 92
                height: 64
                opacity: placeholder.presenter.showsHeadsetMark ? 1 : 0
                visible: opacity > 0
                Behavior on opacity {
                    enabled: placeholder.animates
                    NumberAnimation { duration: placeholder.phaseAnimation; easing.type: Easing.InOutQuad }
                }
                strokeColor: Theme.headsetMark
                lineWidth: 2
                Accessible.ignored: true
            }
        }
        ColumnLayout {
            spacing: 8
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: 400
            // Each text fades out, changes and fades in, within the phase's time.
            Text {
                id: title
                objectName: "placeholderTitle"
                Layout.alignment: Qt.AlignHCenter
                text: placeholder.presenter.placeholderTitle
                Behavior on text {
                    enabled: placeholder.animates
                    SequentialAnimation {
                        NumberAnimation { target: title; property: "opacity"; to: 0; duration: placeholder.phaseAnimation / 2 }
                        PropertyAction {}
                        NumberAnimation { target: title; property: "opacity"; to: 1; duration: placeholder.phaseAnimation / 2 }
                    }
                }
                font.pixelSize: Theme.placeholderTitleSize
                font.weight: Font.Medium
                color: Theme.placeholderTitle
            }
            Text {
                id: subtitle
                objectName: "placeholderSubtitle"
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: 400
                text: placeholder.presenter.placeholderSubtitle
                Behavior on text {
                    enabled: placeholder.animates
                    SequentialAnimation {
                        NumberAnimation { target: subtitle; property: "opacity"; to: 0; duration: placeholder.phaseAnimation / 2 }
                        PropertyAction {}
                        NumberAnimation { target: subtitle; property: "opacity"; to: 1; duration: placeholder.phaseAnimation / 2 }
                    }
                }
                font.pixelSize: Theme.largeSize
                color: Theme.placeholderSubtitle
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }
        }
    }
}
