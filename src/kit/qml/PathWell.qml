import QtQuick
import Tandor.Kit

// An inset well showing a chosen file or folder, or a placeholder when none.
// Long paths lose their middle; the whole path shows as a tooltip.
Rectangle {
    id: well
    property string path
    property string placeholder
    property string symbol

    implicitWidth: 240
    implicitHeight: 30
    radius: 7
    color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.06) : Qt.rgba(0, 0, 0, 0.32)
    border.width: 1
    border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.18) : Qt.rgba(1, 1, 1, 0.10)

    Accessible.role: Accessible.StaticText
    Accessible.name: path !== "" ? path : placeholder

    // Shade under the top edge: the well sits below the panel.
    Rectangle {
        x: 1; y: 1
        width: parent.width - 2
        height: 5
        radius: well.radius
        gradient: Gradient {
            GradientStop { position: 0; color: Qt.rgba(0, 0, 0, Chrome.palette.isLight ? 0.10 : 0.35) }
            GradientStop { position: 1; color: "transparent" }
        }
    }
    Row {
        anchors { left: parent.left; right: parent.right; verticalCenter: parent.verticalCenter; leftMargin: 9; rightMargin: 9 }
        spacing: 6
        Icon {
            id: glyph
            visible: well.symbol !== ""
            symbol: well.symbol
            size: 15
            color: Chrome.palette.dimText
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            id: label
            width: parent.width - (glyph.visible ? glyph.width + parent.spacing : 0)
            anchors.verticalCenter: parent.verticalCenter
            text: well.path !== "" ? well.path : well.placeholder
            color: well.path !== "" ? Chrome.palette.text : Chrome.palette.dimText
            font.pixelSize: 12
            font.italic: well.path === ""
            elide: Text.ElideMiddle
        }
    }
    HoverHandler { id: hover }
    KitToolTip {
        text: well.path
        visible: hover.hovered && label.truncated && well.path !== ""
    }
}
