import QtQuick
import Tandor.Kit

// A small backlit LCD readout: short words and figures that should stand out.
Rectangle {
    id: chip
    property string text
    property color ink: Chrome.palette.lcdText
    property real pixelSize: 12
    property bool mono: true

    implicitWidth: label.implicitWidth + 14
    implicitHeight: label.implicitHeight + 6
    radius: 4
    color: Chrome.palette.lcdBack
    border.width: 1
    border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.45) : Qt.rgba(1, 1, 1, 0.14)

    Accessible.role: Accessible.StaticText
    Accessible.name: text

    // Glass: a faint sheen on the upper half.
    Rectangle {
        x: 1; y: 1
        width: parent.width - 2
        height: parent.height / 2
        radius: 3
        gradient: Gradient {
            GradientStop { position: 0; color: Qt.rgba(1, 1, 1, 0.10) }
            GradientStop { position: 1; color: Qt.rgba(1, 1, 1, 0.02) }
        }
    }
    Text {
        id: label
        anchors.centerIn: parent
        text: chip.text
        color: chip.ink
        font.family: chip.mono ? Chrome.monoFamily : ""
        font.pixelSize: chip.pixelSize
        font.weight: Font.Bold
        font.letterSpacing: 0.6
        // A soft halo in the same light.
        style: Text.Outline
        styleColor: Qt.rgba(chip.ink.r, chip.ink.g, chip.ink.b, 0.22)
    }
}
