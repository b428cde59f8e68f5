import QtQuick
import QtQuick.Templates as T
import Tandor.Kit

// A check well with a glowing LCD tick, and its label. help is the tooltip.
T.CheckBox {
    id: control
    property string help

    implicitWidth: implicitIndicatorWidth + (text !== "" ? spacing + implicitContentWidth : 0) + leftPadding + rightPadding
    implicitHeight: Math.max(implicitIndicatorHeight, implicitContentHeight) + topPadding + bottomPadding
    padding: 2
    spacing: 8
    focusPolicy: Qt.StrongFocus
    font.pixelSize: 13
    opacity: enabled ? 1 : 0.45

    indicator: Rectangle {
        implicitWidth: 18
        implicitHeight: 18
        x: control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: 4
        // A dark LCD well on dark metal, a white enamel one on light metal.
        color: Chrome.palette.isLight ? Qt.lighter(Chrome.palette.panelTop, 1.1) : Chrome.palette.lcdBack
        border.width: 1
        border.color: control.checked ? Chrome.palette.accentInk
                    : Chrome.palette.isLight ? Chrome.palette.chromeMid : Qt.rgba(1, 1, 1, 0.28)
        // Inner shadow along the top of the well.
        Rectangle {
            x: 1; y: 1
            width: parent.width - 2
            height: 4
            radius: 3
            gradient: Gradient {
                GradientStop { position: 0; color: Qt.rgba(0, 0, 0, Chrome.palette.isLight ? 0.15 : 0.5) }
                GradientStop { position: 1; color: "transparent" }
            }
        }
        Icon {
            anchors.centerIn: parent
            visible: control.checkState !== Qt.Unchecked
            symbol: "checkmark"
            size: 15
            readonly property color ink: Chrome.palette.isLight ? Chrome.palette.accentInk : Chrome.palette.lcdText
            color: ink
            style: Text.Outline
            styleColor: Qt.rgba(ink.r, ink.g, ink.b, 0.3)
        }
        FocusRing { visible: control.visualFocus; radiusOf: 4 }
    }

    contentItem: Text {
        leftPadding: control.indicator.width + control.spacing
        text: control.text
        font: control.font
        color: Chrome.palette.text
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    function activate() {
        toggle()
        toggled()
    }
    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
    Accessible.name: text !== "" ? text : help
    Accessible.description: help
    Accessible.onToggleAction: activate()
    Accessible.onPressAction: activate()

    KitToolTip {
        text: control.help
        visible: control.hovered && control.help !== ""
    }
}
