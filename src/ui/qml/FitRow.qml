import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// Whether the disc fits on an 80-minute CD-R: a bar filled to the disc's
// share of 80:00 and its time against 80:00, both red once it runs over.
RowLayout {
    id: fit
    property real seconds: 0
    // The total as "m:ss".
    property string text
    readonly property real limit: 4800
    readonly property bool over: seconds > limit
    readonly property color overColor: Qt.rgba(1.0, 0.36, 0.4, 1)
    readonly property string timeText: text + " of 80:00"

    spacing: 10
    Accessible.role: Accessible.StaticText
    Accessible.name: "Fits on an 80-minute CD-R: " + timeText

    Text {
        text: "Fits on an 80-minute CD-R"
        color: fit.over ? fit.overColor : Chrome.palette.dimText
        font.pixelSize: 12
    }
    GlowBar {
        objectName: "fitBar"
        value: fit.seconds / fit.limit
        color: fit.over ? fit.overColor : Chrome.palette.accentInk
        Layout.fillWidth: true
        Layout.minimumWidth: 60
    }
    Text {
        objectName: "fitTime"
        text: fit.timeText
        color: fit.over ? fit.overColor : Chrome.palette.text
        font.family: Chrome.monoFamily
        font.pixelSize: 13
        font.bold: true
    }
}
