import QtQuick
import Vistrel

// Shows the session's pictures: black until the first one, aspect fit, sized
// with its parent at once (no animation). While a picture shows, black is
// drawn only beside it: the window is drawn again for every picture, and
// black under the picture would be filled each time to no effect.
Item {
    id: surface
    required property SessionPresenter presenter
    // Where the picture is; nowhere while there is none, so all is black.
    readonly property rect picture: presenter.isLive ? output.contentRect : Qt.rect(0, 0, 0, 0)
    readonly property real pictureBottom: picture.y + picture.height
    readonly property real pictureRight: picture.x + picture.width

    VideoPicture {
        id: output
        objectName: "videoOutput"
        anchors.fill: parent
        presenter: surface.presenter
    }

    component Bar: Rectangle {
        color: Theme.videoFill
    }
    Bar {
        width: surface.width
        height: surface.picture.y
    }
    Bar {
        y: surface.pictureBottom
        width: surface.width
        height: surface.height - surface.pictureBottom
    }
    Bar {
        y: surface.picture.y
        width: surface.picture.x
        height: surface.picture.height
    }
    Bar {
        x: surface.pictureRight
        y: surface.picture.y
        width: surface.width - surface.pictureRight
        height: surface.picture.height
    }
}
