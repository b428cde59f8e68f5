import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// Small explanatory text; wraps to the width it is given.
Text {
    Layout.fillWidth: true
    color: Chrome.palette.dimText
    font.pixelSize: 12
    wrapMode: Text.Wrap
    lineHeight: 1.1
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
