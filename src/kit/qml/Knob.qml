import QtQuick
import QtQuick.Shapes
import Tandor.Kit

// A rotary knob of spun metal in a polished bezel, with lit ticks over a
// 270° sweep. Drag up or down, scroll, or use the arrow keys; a double-click
// goes back to defaultValue when one is set. User changes report moved().
Item {
    id: knob
    property real value: 0
    property real from: 0
    property real to: 1
    // Values snap to from + n × stepSize; 0 turns snapping off.
    property real stepSize: 0
    property real defaultValue: NaN
    property string label
    property string valueText
    property real diameter: 54
    signal moved()

    readonly property real position: to > from ? Math.max(0, Math.min(1, (value - from) / (to - from))) : 0
    readonly property real keyStep: stepSize > 0 ? stepSize : (to - from) / 100

    function setValue(v) {
        let next = Math.max(Math.min(from, to), Math.min(Math.max(from, to), v))
        if (stepSize > 0)
            next = Math.max(from, Math.min(to, from + Math.round((next - from) / stepSize) * stepSize))
        if (next !== value) {
            value = next
            moved()
        }
    }

    implicitWidth: Math.max(diameter + 12, caption.implicitWidth, readout.implicitWidth)
    implicitHeight: (label !== "" ? caption.implicitHeight + 4 : 0) + diameter + 12 + (valueText !== "" ? readout.implicitHeight + 4 : 0)
    activeFocusOnTab: true
    opacity: enabled ? 1 : 0.5

    Keys.onUpPressed: setValue(value + keyStep)
    Keys.onRightPressed: setValue(value + keyStep)
    Keys.onDownPressed: setValue(value - keyStep)
    Keys.onLeftPressed: setValue(value - keyStep)
    Keys.onPressed: event => {
        if (event.key === Qt.Key_Home) { setValue(from); event.accepted = true }
        else if (event.key === Qt.Key_End) { setValue(to); event.accepted = true }
        else if (event.key === Qt.Key_PageUp) { setValue(value + keyStep * 10); event.accepted = true }
        else if (event.key === Qt.Key_PageDown) { setValue(value - keyStep * 10); event.accepted = true }
    }

    Accessible.role: Accessible.Dial
    Accessible.name: label
    Accessible.description: valueText
    Accessible.onIncreaseAction: setValue(value + keyStep)
    Accessible.onDecreaseAction: setValue(value - keyStep)

    Text {
        id: caption
        visible: knob.label !== ""
        anchors.horizontalCenter: parent.horizontalCenter
        text: knob.label.toUpperCase()
        color: Chrome.palette.dimText
        font.pixelSize: 10
        font.weight: Font.DemiBold
        font.letterSpacing: 1
    }

    Item {
        id: dial
        width: knob.diameter + 12
        height: width
        anchors.horizontalCenter: parent.horizontalCenter
        y: knob.label !== "" ? caption.implicitHeight + 4 : 0

        // Eleven ticks around the sweep; those up to the value are lit.
        Repeater {
            model: 11
            delegate: Rectangle {
                required property int index
                readonly property real tickAngle: -135 + index * 27
                readonly property bool lit: index / 10 <= knob.position + 1e-9 && knob.position > 0
                x: dial.width / 2 - width / 2
                y: 0
                width: 2
                height: 5
                radius: 1
                color: lit ? (Chrome.palette.isLight ? Chrome.palette.accentInk : Chrome.palette.lcdText) : (Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.25) : Qt.rgba(1, 1, 1, 0.2))
                transform: Rotation { origin.x: 1; origin.y: dial.height / 2; angle: tickAngle }
            }
        }
        // Bezel ring.
        Rectangle {
            id: bezel
            anchors.centerIn: parent
            width: knob.diameter
            height: width
            radius: width / 2
            gradient: BezelGradient {}
            border.width: 1
            border.color: Qt.rgba(0, 0, 0, 0.45)
        }
        SpunMetal {
            anchors.centerIn: parent
            width: knob.diameter - 8
            height: width
            angle: 90
        }
        // The pointer: a lit notch turning with the value.
        Item {
            anchors.fill: bezel
            rotation: -135 + 270 * knob.position
            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                y: 7
                width: 4
                height: knob.diameter * 0.26
                radius: 2
                color: Chrome.palette.lcdText
                border.width: 1
                border.color: Qt.rgba(0, 0, 0, 0.4)
            }
        }
        Rectangle {
            anchors.centerIn: parent
            width: knob.diameter + 8
            height: width
            radius: width / 2
            color: "transparent"
            border.width: 2
            border.color: Chrome.palette.accentInk
            visible: knob.activeFocus
        }

        MouseArea {
            anchors.fill: parent
            property real startY: 0
            property real startValue: 0
            preventStealing: true
            onPressed: mouse => {
                knob.forceActiveFocus(Qt.MouseFocusReason)
                startY = mouse.y
                startValue = knob.value
            }
            // 150 pixels of travel cover the whole range.
            onPositionChanged: mouse => knob.setValue(startValue + (startY - mouse.y) / 150 * (knob.to - knob.from))
            onDoubleClicked: if (!isNaN(knob.defaultValue)) knob.setValue(knob.defaultValue)
            onWheel: wheel => knob.setValue(knob.value + (wheel.angleDelta.y > 0 ? knob.keyStep : -knob.keyStep))
        }
    }

    LCDChip {
        id: readout
        visible: knob.valueText !== ""
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: dial.bottom
        anchors.topMargin: 4
        text: knob.valueText
    }
}
