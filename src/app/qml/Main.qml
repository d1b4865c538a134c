import QtQuick
import QtQuick.Controls

ApplicationWindow {
    id: window
    title: "Vistrel"
    width: 1000
    height: 720
    visible: true
}
