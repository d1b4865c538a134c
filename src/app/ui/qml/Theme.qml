pragma Singleton
import QtQuick

// The windows' colours, font sizes and timings, in one place. Primary,
// secondary and window follow the desktop's palette; the rest is Vistrel's.
QtObject {
    readonly property SystemPalette system: SystemPalette {
        colorGroup: SystemPalette.Active
    }

    readonly property color accent: Qt.rgba(84 / 255, 194 / 255, 168 / 255, 1)
    readonly property color background: system.window
    readonly property color primary: system.windowText
    readonly property color secondary: Qt.rgba(primary.r, primary.g, primary.b, 0.55)
    readonly property color idleDot: Qt.rgba(secondary.r, secondary.g, secondary.b, secondary.a * 0.5)
    readonly property color divider: system.mid
    readonly property color orange: "#ff9500"
    readonly property color errorFill: Qt.rgba(1, 149 / 255, 0, 0.08)
    readonly property color recordingDot: "#ff3b30"
    readonly property color fieldFill: Qt.rgba(primary.r, primary.g, primary.b, 0.04)
    readonly property color fieldBorder: Qt.rgba(primary.r, primary.g, primary.b, 0.12)
    // Text on the accent and on the badge
    readonly property color onColour: "white"
    // The video area: black, and what is drawn over it
    readonly property color videoFill: "black"
    readonly property color placeholderTitle: Qt.rgba(1, 1, 1, 0.9)
    readonly property color placeholderSubtitle: Qt.rgba(1, 1, 1, 0.43)
    readonly property color headsetMark: Qt.rgba(1, 1, 1, 0.5)
    readonly property color videoOutline: Qt.rgba(1, 1, 1, 0.07)
    readonly property color badgeFill: Qt.rgba(0, 0, 0, 0.6)
    // The statistics panel keeps its text at 4.5:1 or better over a white picture.
    readonly property color overlayFill: Qt.rgba(0, 0, 0, 0.78)
    readonly property color overlayLabel: Qt.rgba(1, 1, 1, 0.85)
    readonly property color overlayCaption: Qt.rgba(1, 1, 1, 0.72)
    readonly property color graphFill: Qt.rgba(1, 1, 1, 0.06)

    // Font sizes in pixels
    readonly property int appNameSize: 22
    readonly property int placeholderTitleSize: 20
    readonly property int addressSize: 15
    readonly property int largeSize: 13
    readonly property int bodySize: 12
    readonly property int captionSize: 11
    readonly property int smallSize: 10
    readonly property int tinySize: 9

    // Milliseconds
    readonly property int phaseAnimation: 180
    readonly property int tooltipDelay: 600
}
