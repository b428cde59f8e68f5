import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// The line under a CD-Text field when some of what was typed can't reach the
// disc as it is; hidden while everything can.
Text {
    required property string source
    text: WindowRules.cdTextWarning(source)
    visible: text !== ""
    color: Chrome.palette.waiting
    font.pixelSize: 11
    wrapMode: Text.Wrap
    Layout.fillWidth: true
}
