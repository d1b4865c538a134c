import QtQuick
import QtMultimedia

// Shows the session's pictures: black until the first one, aspect fit, sized
// with its parent at once (no animation).
Rectangle {
    id: surface
    required property QtObject presenter
    color: "black"

    VideoOutput {
        id: output
        objectName: "videoOutput"
        anchors.fill: parent
        fillMode: VideoOutput.PreserveAspectFit
    }

    Binding {
        target: surface.presenter
        property: "videoSink"
        value: output.videoSink
    }
}
