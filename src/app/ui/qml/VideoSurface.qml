import QtQuick
import QtMultimedia
import Vistrel

// Shows the session's pictures: black until the first one, aspect fit, sized
// with its parent at once (no animation).
Rectangle {
    id: surface
    required property SessionPresenter presenter
    color: Theme.videoFill

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
