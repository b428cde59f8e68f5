import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.Kit

// A menu item that shows its shortcut at the right, in the theme's colours.
MenuItem {
    id: entry
    // The shortcut as shown, e.g. "Ctrl+O".
    property string keys: ""

    Accessible.name: text
    Accessible.onPressAction: triggered()

    contentItem: RowLayout {
        spacing: 24
        Text {
            text: entry.text
            color: entry.highlighted ? Chrome.palette.accentText : Chrome.palette.text
            opacity: entry.enabled ? 1 : 0.45
            font: entry.font
            leftPadding: entry.checkable ? entry.indicator.width + 4 : 0
            Layout.fillWidth: true
            elide: Text.ElideRight
        }
        Text {
            visible: entry.keys !== ""
            text: entry.keys
            color: entry.highlighted ? Chrome.palette.accentText : Chrome.palette.dimText
            opacity: entry.enabled ? 1 : 0.45
            font.pixelSize: entry.font.pixelSize - 1
        }
    }
}
