import QtQuick
import Vistrel

// Something is under way: twelve spokes around a centre, the brightest one
// stepping round once a second. Stepped by a timer, not animated: the window
// is drawn whole whenever anything in it changes, and an animation would
// have it drawn as often as the screen refreshes (most of a core while
// connecting, on a computer that draws in software); twelve steps a second
// draw it twelve times.
Item {
    id: spinner
    property color color: Theme.accent
    property int step: 0
    readonly property int spokes: 12

    implicitWidth: 40
    implicitHeight: 40
    Accessible.role: Accessible.Indicator

    Timer {
        interval: 1000 / spinner.spokes
        repeat: true
        running: spinner.visible
        onTriggered: spinner.step = (spinner.step + 1) % spinner.spokes
    }

    Item {
        anchors.fill: parent
        rotation: spinner.step * 360 / spinner.spokes

        Repeater {
            // From the brightest spoke backwards, each fainter than the one before.
            model: {
                const spokes = [];
                const width = Math.max(1.5, spinner.width / 12);
                for (let i = 0; i < spinner.spokes; ++i) {
                    spokes.push({
                        x: (spinner.width - width) / 2,
                        width: width,
                        height: spinner.height * 0.28,
                        centre: spinner.height / 2,
                        angle: -i * 360 / spinner.spokes,
                        colour: Qt.rgba(spinner.color.r, spinner.color.g, spinner.color.b,
                                        spinner.color.a * (1 - 0.85 * i / spinner.spokes))
                    });
                }
                return spokes;
            }
            delegate: Rectangle {
                id: spoke
                required property var modelData
                x: spoke.modelData.x
                width: spoke.modelData.width
                height: spoke.modelData.height
                radius: spoke.width / 2
                color: spoke.modelData.colour
                transform: Rotation {
                    origin.x: spoke.width / 2
                    origin.y: spoke.modelData.centre
                    angle: spoke.modelData.angle
                }
            }
        }
    }
}
