import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vistrel

// Where the last capture was saved, on one line cut in the middle when it
// is too long, with the whole notice as its tooltip.
RowLayout {
    id: notice
    required property SessionPresenter presenter

    objectName: "captureNotice"
    visible: presenter.hasCaptureNotice
    spacing: 10

    Text {
        objectName: "captureNoticeText"
        Layout.fillWidth: true
        Layout.maximumWidth: implicitWidth
        text: notice.presenter.captureNotice
        elide: Text.ElideMiddle
        maximumLineCount: 1
        font.pixelSize: Theme.captionSize
        color: Theme.secondary
        HoverHandler { id: hover }
        // A tooltip of its own, bound to the notice: the shared one takes
        // its text when the pointer arrives and misses a notice that changes
        // before it shows.
        ToolTip {
            visible: hover.hovered
            delay: Theme.tooltipDelay
            text: notice.presenter.captureNotice
        }
    }
    LinkButton {
        objectName: "showInFolderLink"
        text: Labels.showInFolder
        pixelSize: Theme.captionSize
        onClicked: notice.presenter.revealLastCapture()
    }
    SymbolButton {
        objectName: "dismissNoticeButton"
        symbol: "icons/xmark.svg"
        symbolSize: 9
        Accessible.name: Labels.dismissNotice
        onClicked: notice.presenter.dismissCaptureNotice()
    }
}
