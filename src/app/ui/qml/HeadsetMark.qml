import QtQuick
import QtQuick.Shapes
import Vistrel

// The headset glyph, outlined. Its geometry comes from ShapePaths.
Shape {
    id: mark
    property color strokeColor: "white"
    property real lineWidth: 2

    implicitWidth: 92
    implicitHeight: 64
    antialiasing: true
    layer.enabled: true
    layer.samples: 4

    ShapePath {
        strokeColor: mark.strokeColor
        strokeWidth: mark.lineWidth
        fillColor: "transparent"
        capStyle: ShapePath.RoundCap
        joinStyle: ShapePath.RoundJoin
        PathSvg { path: ShapePaths.headsetMark(mark.width, mark.height) }
    }
}
