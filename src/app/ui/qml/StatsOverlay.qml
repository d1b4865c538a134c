import QtQuick
import QtQuick.Shapes
import Vistrel

// The live statistics in a corner of the video area, never more than half
// its width, so that the picture's centre stays clear: the figures, and the
// intervals between the pictures of the last ten seconds, where a stutter
// stands out as a block.
Rectangle {
    id: overlay
    required property SessionPresenter presenter
    readonly property StatisticsPresenter statistics: presenter.statistics

    objectName: "statsOverlay"
    visible: presenter.showsStatistics
    implicitWidth: content.implicitWidth + 20
    implicitHeight: content.implicitHeight + 16
    radius: 8
    color: Theme.overlayFill
    clip: true

    Column {
        id: content
        x: 10
        y: 8
        spacing: 6

        Row {
            id: figures
            spacing: 12
            Text {
                objectName: "statisticsNames"
                text: Labels.statisticsNames
                font.pixelSize: Theme.smallSize
                lineHeightMode: Text.FixedHeight
                lineHeight: 14
                color: Theme.overlayLabel
            }
            Text {
                id: values
                objectName: "statisticsValues"
                // As wide as the widest value can be, so the panel keeps its size.
                width: Math.max(implicitWidth, widest.width)
                text: overlay.statistics.values
                font.pixelSize: Theme.smallSize
                font.family: overlay.presenter.monospaceFamily
                lineHeightMode: Text.FixedHeight
                lineHeight: 14
                color: Theme.onColour
                TextMetrics {
                    id: widest
                    font: values.font
                    text: "00.0 ms, worst 000.0 ms"
                }
            }
        }

        Rectangle {
            id: graph
            objectName: "intervalGraph"
            width: Math.max(figures.width, caption.implicitWidth)
            height: 36
            color: Theme.graphFill
            Shape {
                width: overlay.statistics.graphWidth
                height: overlay.statistics.graphHeight
                transform: Scale {
                    xScale: graph.width / overlay.statistics.graphWidth
                    yScale: graph.height / overlay.statistics.graphHeight
                }
                ShapePath {
                    fillColor: Theme.accent
                    strokeColor: "transparent"
                    PathSvg { path: overlay.statistics.intervalBars }
                }
            }
        }

        Text {
            id: caption
            objectName: "intervalsCaption"
            text: Labels.intervalsCaption
            font.pixelSize: Theme.tinySize
            color: Theme.overlayCaption
        }
    }
}
