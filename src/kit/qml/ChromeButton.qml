import QtQuick
import QtQuick.Templates as T
import Tandor.Kit

// A raised metal cap with a label and an optional symbol. Prominent buttons are
// cast in the accent colour. help is the tooltip.
T.Button {
    id: control
    property string symbol
    property bool prominent: false
    property bool compact: false
    property string help

    readonly property color ink: prominent ? Chrome.palette.accentInkText : Chrome.palette.capText
    readonly property real capRadius: compact ? 6 : 7

    implicitWidth: Math.max(implicitBackgroundWidth, implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight, implicitContentHeight + topPadding + bottomPadding)
    topPadding: compact ? 4 : 7
    bottomPadding: compact ? 4 : 7
    leftPadding: compact ? 10 : 16
    rightPadding: compact ? 10 : 16
    spacing: 6
    focusPolicy: Qt.StrongFocus
    font.pixelSize: compact ? 12 : 13
    font.weight: Font.DemiBold
    opacity: enabled ? 1 : 0.45

    contentItem: Item {
        implicitWidth: row.implicitWidth
        implicitHeight: Math.max(row.implicitHeight, control.compact ? 16 : 18)
        Row {
            id: row
            anchors.centerIn: parent
            spacing: control.spacing
            Icon {
                visible: control.symbol !== ""
                symbol: control.symbol
                size: control.compact ? 14 : 16
                color: control.ink
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                visible: control.text !== ""
                text: control.text
                font: control.font
                color: control.ink
                elide: Text.ElideRight
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }

    background: Rectangle {
        implicitWidth: control.compact ? 56 : 80
        implicitHeight: control.compact ? 24 : 32
        radius: control.capRadius
        border.width: 1
        border.color: Qt.darker(control.prominent ? Chrome.palette.accentInk : Chrome.palette.chromeDark, 1.3)
        gradient: control.prominent ? accentCap : cap

        CapGradient { id: cap }
        Gradient {
            id: accentCap
            GradientStop { position: 0; color: Qt.lighter(Chrome.palette.accentInk, 1.35) }
            GradientStop { position: 0.48; color: Chrome.palette.accentInk }
            GradientStop { position: 1; color: Qt.darker(Chrome.palette.accentInk, 1.35) }
        }
        // Gloss over the upper half.
        Rectangle {
            x: 1; y: 1
            width: parent.width - 2
            height: parent.height / 2
            radius: control.capRadius - 1
            opacity: 0.55
            gradient: GlossGradient {}
        }
        // Pressed caps sink, hovered ones catch the light.
        Rectangle {
            anchors.fill: parent
            radius: control.capRadius
            color: control.down ? Qt.rgba(0, 0, 0, 0.22) : Qt.rgba(1, 1, 1, 0.10)
            visible: control.down || control.hovered
        }
        FocusRing { visible: control.visualFocus; radiusOf: control.capRadius }
    }

    Keys.onReturnPressed: control.clicked()
    Keys.onEnterPressed: control.clicked()
    Accessible.name: text !== "" ? text : help
    Accessible.description: help
    Accessible.onPressAction: control.clicked()

    KitToolTip {
        text: control.help
        visible: control.hovered && control.help !== ""
    }
}
