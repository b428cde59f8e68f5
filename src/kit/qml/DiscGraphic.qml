import QtQuick
import QtQuick.Shapes
import Tandor.Kit

// A disc in its tray light: a spun-metal platter with a clear hub, turning
// while spinning, inside a ring that fills with progress (0…1).
Item {
    id: disc
    property real progress: 0
    property bool spinning: false
    property color color: Chrome.palette.accentInk
    property bool small: false

    readonly property real position: isNaN(progress) ? 0 : Math.max(0, Math.min(1, progress))
    readonly property real size: Math.min(width, height)
    readonly property real ringWidth: small ? 3 : 5

    implicitWidth: small ? 46 : 120
    implicitHeight: implicitWidth

    Accessible.role: Accessible.ProgressBar
    Accessible.name: "Progress " + Math.floor(position * 100) + " percent"

    // Progress ring: its track, then the lit arc from twelve o'clock.
    Shape {
        id: ring
        anchors.centerIn: parent
        width: disc.size
        height: disc.size
        antialiasing: true
        ShapePath {
            strokeColor: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.14) : Chrome.palette.lcdBack
            strokeWidth: disc.ringWidth
            fillColor: "transparent"
            PathAngleArc {
                centerX: ring.width / 2; centerY: ring.height / 2
                radiusX: (ring.width - disc.ringWidth) / 2; radiusY: radiusX
                startAngle: 0; sweepAngle: 360
            }
        }
        ShapePath {
            strokeColor: disc.color
            strokeWidth: disc.ringWidth
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            PathAngleArc {
                centerX: ring.width / 2; centerY: ring.height / 2
                radiusX: (ring.width - disc.ringWidth) / 2; radiusY: radiusX
                startAngle: -90
                sweepAngle: 360 * disc.position
            }
        }
    }

    Item {
        id: platter
        anchors.centerIn: parent
        width: disc.size - 2 * disc.ringWidth - (disc.small ? 4 : 8)
        height: width

        Rectangle {
            anchors.fill: parent
            radius: width / 2
            color: Chrome.palette.chromeDark
        }
        // The reflections of a spinning disc sweep round with it; turning the
        // item, not the gradient, keeps the shape from being redrawn each frame.
        SpunMetal {
            id: face
            anchors.fill: parent
            inset: 1
            angle: 60
            RotationAnimation on rotation {
                running: disc.spinning
                from: 0; to: 360
                duration: 1600
                loops: Animation.Infinite
            }
        }
        // A tint of the deck's colour over the data area.
        Rectangle {
            anchors.fill: parent
            anchors.margins: 1
            radius: width / 2
            color: Qt.rgba(disc.color.r, disc.color.g, disc.color.b, 0.16)
        }
        // The written area darkens as the burn moves outward.
        Rectangle {
            anchors.centerIn: parent
            readonly property real inner: hub.width
            width: inner + (parent.width - inner) * disc.position
            height: width
            radius: width / 2
            visible: disc.position > 0
            color: Qt.rgba(0, 0, 0, 0.16)
        }
        // Clear hub with its stacking ring and the centre hole.
        Rectangle {
            id: hub
            anchors.centerIn: parent
            width: parent.width * 0.36
            height: width
            radius: width / 2
            color: Qt.rgba(1, 1, 1, 0.28)
            border.width: 1
            border.color: Qt.rgba(0, 0, 0, 0.25)
            Rectangle {
                anchors.centerIn: parent
                width: parent.width * 0.42
                height: width
                radius: width / 2
                color: Chrome.palette.panelBottom
                border.width: 1
                border.color: Qt.rgba(0, 0, 0, 0.35)
            }
        }
    }
}
