import QtQuick
import Tandor.Kit

// The visible keyboard focus: an accent outline just outside its parent.
Rectangle {
    property real radiusOf: 6
    anchors.fill: parent
    anchors.margins: -3
    radius: radiusOf + 3
    color: "transparent"
    border.width: 2
    border.color: Chrome.palette.accentInk
    antialiasing: true
}
