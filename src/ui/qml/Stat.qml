import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// A caption over a value, as on a deck's readout strip.
ColumnLayout {
    id: stat
    property string label
    property string value
    property bool small: false

    spacing: 1
    Accessible.role: Accessible.StaticText
    Accessible.name: label + " " + value

    Text {
        text: stat.label.toUpperCase()
        color: Chrome.palette.dimText
        font.pixelSize: 10
        font.weight: Font.DemiBold
        font.letterSpacing: 1
        Layout.fillWidth: true
    }
    Text {
        objectName: "value"
        text: stat.value
        color: Chrome.palette.text
        font.family: Chrome.monoFamily
        font.pixelSize: stat.small ? 14 : 18
        font.weight: Font.Bold
        Layout.fillWidth: true
    }
}
