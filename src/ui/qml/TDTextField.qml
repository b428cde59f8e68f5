import QtQuick
import QtQuick.Controls
import Tandor.Kit

// A one-line text field in the theme's inset look.
TextField {
    id: field
    color: Chrome.palette.text
    placeholderTextColor: Chrome.palette.dimText
    selectionColor: Chrome.palette.accent
    selectedTextColor: Chrome.palette.accentText
    font.pixelSize: 13
    leftPadding: 8
    opacity: enabled ? 1 : 0.6
    rightPadding: 8
    Accessible.name: placeholderText
    background: Rectangle {
        implicitHeight: 30
        radius: 6
        color: Chrome.palette.isLight ? Qt.rgba(1, 1, 1, 0.75) : Qt.rgba(0, 0, 0, 0.35)
        border.width: field.activeFocus ? 2 : 1
        border.color: field.activeFocus ? Chrome.palette.accentInk
                      : Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.25) : Qt.rgba(1, 1, 1, 0.12)
    }
}
