import QtQuick
import Tandor.Core

// A rounded card drawn from the theme's two colours.
Rectangle {
    id: panel
    required property AppModel app
    readonly property color accent: app.theme.accentColor
    readonly property color base: app.theme.baseColor
    readonly property color ink: base.hslLightness > 0.5 ? "#1b1c20" : "#e8eaee"

    radius: 10
    color: Qt.rgba(ink.r, ink.g, ink.b, 0.06)
    border.color: Qt.rgba(ink.r, ink.g, ink.b, 0.18)
}
