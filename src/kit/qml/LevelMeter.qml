import QtQuick
import Tandor.Kit

// A segmented LED meter behind glass, lit from the left up to level (0…1).
Rectangle {
    id: meter
    property real level: 0
    property int segments: 24
    property color ink: Chrome.palette.lcdText
    // What the meter measures, for screen readers ("Buffer").
    property string label
    readonly property real position: isNaN(level) ? 0 : Math.max(0, Math.min(1, level))
    readonly property int litCount: Math.round(position * segments)

    implicitWidth: 160
    implicitHeight: 12
    radius: 3
    color: Chrome.palette.lcdBack
    border.width: 1
    border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.4) : Qt.rgba(1, 1, 1, 0.12)

    Accessible.role: Accessible.ProgressBar
    Accessible.name: label !== "" ? label : percentText
    Accessible.description: percentText
    readonly property string percentText: Math.round(position * 100) + " percent"

    Row {
        id: leds
        x: 3; y: 3
        width: parent.width - 6
        height: parent.height - 6
        spacing: 2
        Repeater {
            model: meter.segments
            delegate: Rectangle {
                required property int index
                width: (leds.width - leds.spacing * (meter.segments - 1)) / meter.segments
                height: leds.height
                radius: 1
                color: meter.ink
                opacity: index < meter.litCount ? 1 : 0.13
            }
        }
    }
}
