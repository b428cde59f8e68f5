import QtQuick
import Tandor.Kit

// A mixing-desk fader: a metal cap riding in a slot, the slot lit up to the
// cap. Vertical unless told otherwise. Drag, click the slot, scroll, or use
// the arrow keys; user changes report moved().
Item {
    id: fader
    property real value: 0
    property real from: 0
    property real to: 1
    property real stepSize: 0
    property int orientation: Qt.Vertical
    property string label
    signal moved()

    readonly property bool vertical: orientation === Qt.Vertical
    readonly property real position: to > from ? Math.max(0, Math.min(1, (value - from) / (to - from))) : 0
    readonly property real keyStep: stepSize > 0 ? stepSize : (to - from) / 20
    // Where the cap's centre can travel, along the fader's length.
    readonly property real travel: (vertical ? height : width) - capLength
    readonly property real capLength: 16

    function setValue(v) {
        let next = Math.max(Math.min(from, to), Math.min(Math.max(from, to), v))
        if (stepSize > 0)
            next = Math.max(from, Math.min(to, from + Math.round((next - from) / stepSize) * stepSize))
        if (next !== value) {
            value = next
            moved()
        }
    }
    function setFromPoint(x, y) {
        const along = vertical ? (height - capLength / 2 - y) : (x - capLength / 2)
        setValue(from + Math.max(0, Math.min(1, along / Math.max(1, travel))) * (to - from))
    }

    implicitWidth: vertical ? 34 : 160
    implicitHeight: vertical ? 140 : 34
    activeFocusOnTab: true
    opacity: enabled ? 1 : 0.5

    Keys.onUpPressed: setValue(value + keyStep)
    Keys.onRightPressed: setValue(value + keyStep)
    Keys.onDownPressed: setValue(value - keyStep)
    Keys.onLeftPressed: setValue(value - keyStep)
    Keys.onPressed: event => {
        if (event.key === Qt.Key_Home) { setValue(from); event.accepted = true }
        else if (event.key === Qt.Key_End) { setValue(to); event.accepted = true }
    }

    Accessible.role: Accessible.Slider
    Accessible.name: label
    Accessible.onIncreaseAction: setValue(value + keyStep)
    Accessible.onDecreaseAction: setValue(value - keyStep)

    // Scale marks beside the slot.
    Repeater {
        model: 11
        delegate: Rectangle {
            required property int index
            readonly property real at: fader.capLength / 2 + fader.travel * index / 10
            color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.3) : Qt.rgba(1, 1, 1, 0.25)
            width: fader.vertical ? (index % 5 === 0 ? fader.width : fader.width * 0.7) : 1
            height: fader.vertical ? 1 : (index % 5 === 0 ? fader.height : fader.height * 0.7)
            x: fader.vertical ? (fader.width - width) / 2 : at
            y: fader.vertical ? fader.height - at : (fader.height - height) / 2
        }
    }
    // The slot, lit up to the cap.
    Rectangle {
        id: slot
        x: fader.vertical ? (fader.width - width) / 2 : fader.capLength / 2
        y: fader.vertical ? fader.capLength / 2 : (fader.height - height) / 2
        width: fader.vertical ? 6 : fader.travel
        height: fader.vertical ? fader.travel : 6
        radius: 3
        color: Chrome.palette.lcdBack
        border.width: 1
        border.color: Qt.rgba(0, 0, 0, 0.5)
        Rectangle {
            x: 1
            y: fader.vertical ? parent.height - height - 1 : 1
            width: fader.vertical ? parent.width - 2 : (parent.width - 2) * fader.position
            height: fader.vertical ? (parent.height - 2) * fader.position : parent.height - 2
            radius: 2
            color: Chrome.palette.lcdText
            opacity: 0.85
        }
    }
    // The cap.
    Rectangle {
        id: cap
        width: fader.vertical ? fader.width - 4 : fader.capLength
        height: fader.vertical ? fader.capLength : fader.height - 4
        x: fader.vertical ? 2 : fader.travel * fader.position
        y: fader.vertical ? fader.travel * (1 - fader.position) : 2
        radius: 3
        gradient: CapGradient {}
        border.width: 1
        border.color: Qt.darker(Chrome.palette.chromeDark, 1.3)
        // The grip line across the cap.
        Rectangle {
            anchors.centerIn: parent
            width: fader.vertical ? parent.width - 6 : 2
            height: fader.vertical ? 2 : parent.height - 6
            color: Chrome.palette.lcdText
        }
        FocusRing { visible: fader.activeFocus; radiusOf: 3 }
    }

    MouseArea {
        anchors.fill: parent
        preventStealing: true
        onPressed: mouse => {
            fader.forceActiveFocus(Qt.MouseFocusReason)
            fader.setFromPoint(mouse.x, mouse.y)
        }
        onPositionChanged: mouse => fader.setFromPoint(mouse.x, mouse.y)
        onWheel: wheel => fader.setValue(fader.value + (wheel.angleDelta.y > 0 ? fader.keyStep : -fader.keyStep))
    }
}
