import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// A whole-number stepper: its label, − and + caps around an LCD readout.
// Clicks, the arrow keys (Page Up/Down by ten, Home/End to the ends) and the
// scroll wheel change it; user changes report moved(). The value never leaves
// from…to, whatever is asked.
FocusScope {
    id: control
    property int value: 0
    property int from: 0
    property int to: 99
    property string label
    property string help
    signal moved()

    function setValue(v) {
        const next = Math.max(from, Math.min(to, Math.round(v)))
        if (next !== value) {
            value = next
            moved()
        }
    }

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight
    activeFocusOnTab: true
    opacity: enabled ? 1 : 0.5

    Keys.onUpPressed: setValue(value + 1)
    Keys.onRightPressed: setValue(value + 1)
    Keys.onDownPressed: setValue(value - 1)
    Keys.onLeftPressed: setValue(value - 1)
    Keys.onPressed: event => {
        if (event.key === Qt.Key_PageUp) { setValue(value + 10); event.accepted = true }
        else if (event.key === Qt.Key_PageDown) { setValue(value - 10); event.accepted = true }
        else if (event.key === Qt.Key_Home) { setValue(from); event.accepted = true }
        else if (event.key === Qt.Key_End) { setValue(to); event.accepted = true }
    }

    Accessible.role: Accessible.SpinBox
    Accessible.name: label
    Accessible.description: help !== "" ? help : String(value)
    Accessible.onIncreaseAction: setValue(value + 1)
    Accessible.onDecreaseAction: setValue(value - 1)

    WheelHandler {
        onWheel: event => control.setValue(control.value + (event.angleDelta.y > 0 ? 1 : -1))
    }

    RowLayout {
        id: row
        anchors.fill: parent
        spacing: 6
        Text {
            visible: control.label !== ""
            text: control.label
            color: Chrome.palette.text
            font.pixelSize: 13
            Layout.rightMargin: 4
        }
        ChromeButton {
            objectName: "stepDown"
            symbol: "minus"
            compact: true
            help: "Fewer"
            focusPolicy: Qt.NoFocus
            enabled: control.value > control.from
            Layout.preferredWidth: 32
            onClicked: control.setValue(control.value - 1)
        }
        LCDChip {
            objectName: "stepValue"
            text: String(control.value)
            pixelSize: 14
            Layout.preferredWidth: Math.max(implicitWidth, 52)
            FocusRing { visible: control.activeFocus; radiusOf: 4 }
        }
        ChromeButton {
            objectName: "stepUp"
            symbol: "plus"
            compact: true
            help: "More"
            focusPolicy: Qt.NoFocus
            enabled: control.value < control.to
            Layout.preferredWidth: 32
            onClicked: control.setValue(control.value + 1)
        }
    }
    KitToolTip {
        text: control.help
        visible: hover.hovered && control.help !== ""
    }
    HoverHandler { id: hover }
}
