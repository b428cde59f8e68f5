import QtQuick
import QtQuick.Templates as T
import Tandor.Kit

// A small flat button showing only a symbol; its help text is both the
// tooltip and what a screen reader says.
T.Button {
    id: control
    property string symbol
    property string help
    property real size: 16
    property color color: Chrome.palette.text

    implicitWidth: size + 10
    implicitHeight: size + 10
    padding: 5
    focusPolicy: Qt.StrongFocus
    opacity: enabled ? 1 : 0.4

    contentItem: Icon {
        symbol: control.symbol
        size: control.size
        color: control.color
    }
    background: Rectangle {
        radius: 6
        color: control.down ? Qt.rgba(0, 0, 0, 0.2)
             : control.hovered ? (Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.08) : Qt.rgba(1, 1, 1, 0.12))
             : "transparent"
        FocusRing { visible: control.visualFocus; radiusOf: 6 }
    }

    Keys.onReturnPressed: control.clicked()
    Keys.onEnterPressed: control.clicked()
    Accessible.name: help
    Accessible.description: help
    Accessible.onPressAction: control.clicked()

    KitToolTip {
        text: control.help
        visible: control.hovered && control.help !== ""
    }
}
