import QtQuick
import Tandor.Kit

// A round indicator lamp in a chrome bezel; lit, it glows in its colour.
Item {
    id: lamp
    property bool on: false
    property color color: Chrome.palette.ok
    property real diameter: 12

    implicitWidth: diameter
    implicitHeight: diameter
    Accessible.ignored: true

    // The halo of a lit lamp.
    Rectangle {
        anchors.centerIn: parent
        width: lamp.diameter * 1.9
        height: width
        radius: width / 2
        visible: lamp.on
        color: Qt.rgba(lamp.color.r, lamp.color.g, lamp.color.b, 0.22)
    }
    Rectangle {
        anchors.fill: parent
        radius: width / 2
        gradient: BezelGradient {}
    }
    Rectangle {
        anchors.centerIn: parent
        width: lamp.diameter - 3
        height: width
        radius: width / 2
        gradient: Gradient {
            GradientStop { position: 0; color: lamp.on ? Qt.lighter(lamp.color, 1.5) : Qt.darker(lamp.color, 2.4) }
            GradientStop { position: 1; color: lamp.on ? lamp.color : Qt.darker(lamp.color, 3.5) }
        }
        // The glint.
        Rectangle {
            x: parent.width * 0.22; y: parent.height * 0.14
            width: parent.width * 0.45
            height: parent.height * 0.32
            radius: height / 2
            color: Qt.rgba(1, 1, 1, lamp.on ? 0.6 : 0.18)
        }
    }
}
