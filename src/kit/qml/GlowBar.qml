import QtQuick
import Tandor.Kit

// A progress bar lit in the accent colour. Values outside 0…1 (and NaN) are
// drawn clamped, so the light never leaves its track.
Item {
    id: bar
    property real value: 0
    readonly property real position: isNaN(value) ? 0 : Math.max(0, Math.min(1, value))
    property color color: Chrome.palette.accentInk

    implicitWidth: 160
    implicitHeight: 10

    Accessible.role: Accessible.ProgressBar
    Accessible.name: Math.floor(position * 100) + " percent"

    Rectangle {
        id: track
        anchors.fill: parent
        radius: height / 2
        color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.13) : Chrome.palette.lcdBack
        border.width: 1
        border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.22) : Qt.rgba(1, 1, 1, 0.10)
    }
    // The glow spills a little around the lit part, inside the track's bounds.
    Rectangle {
        id: fill
        objectName: "fill"
        x: 1; y: 1
        height: parent.height - 2
        width: (track.width - 2) * bar.position
        visible: width > 0.5
        radius: height / 2
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Qt.darker(bar.color, 1.25) }
            GradientStop { position: 1; color: Qt.lighter(bar.color, 1.25) }
        }
        Rectangle {
            x: 2; y: 1
            width: Math.max(0, parent.width - 4)
            height: parent.height / 2 - 1
            radius: height / 2
            color: Qt.rgba(1, 1, 1, 0.35)
        }
        Rectangle {
            anchors.fill: parent
            anchors.margins: -1
            radius: height / 2
            color: "transparent"
            border.width: 1
            border.color: Qt.rgba(bar.color.r, bar.color.g, bar.color.b, 0.4)
        }
    }
}
