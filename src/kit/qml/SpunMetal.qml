import QtQuick
import QtQuick.Shapes
import Tandor.Kit

// A round face of spun metal: an angular gradient through the chrome colours
// around the centre. Fills the item as a circle.
Shape {
    id: face
    property real angle: 90
    property real inset: 0
    readonly property real radius: Math.max(0, Math.min(width, height) / 2 - inset)
    antialiasing: true

    ShapePath {
        strokeColor: "transparent"
        fillGradient: ConicalGradient {
            centerX: face.width / 2
            centerY: face.height / 2
            angle: face.angle
            GradientStop { position: 0 / 8; color: Chrome.palette.chromeLight }
            GradientStop { position: 1 / 8; color: Chrome.palette.chromeMid }
            GradientStop { position: 2 / 8; color: Chrome.palette.chromeDark }
            GradientStop { position: 3 / 8; color: Chrome.palette.chromeMid }
            GradientStop { position: 4 / 8; color: Chrome.palette.chromeLight }
            GradientStop { position: 5 / 8; color: Chrome.palette.chromeMid }
            GradientStop { position: 6 / 8; color: Chrome.palette.chromeDark }
            GradientStop { position: 7 / 8; color: Chrome.palette.chromeMid }
            GradientStop { position: 8 / 8; color: Chrome.palette.chromeLight }
        }
        PathAngleArc {
            centerX: face.width / 2
            centerY: face.height / 2
            radiusX: face.radius
            radiusY: face.radius
            startAngle: 0
            sweepAngle: 360
        }
    }
}
