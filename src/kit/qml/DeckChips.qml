import QtQuick
import QtQuick.Templates as T
import Tandor.Kit

// One lettered chip per deck. With multi on, each click toggles that deck in
// selection (kept sorted, each index once); otherwise a click makes it current
// (and the whole selection). Every change by the user reports edited().
Row {
    id: control
    property int count: 6
    property bool multi: true
    property var selection: []
    property int current: -1
    property string letters: "ABCDEF"
    // Which chips can be picked, by index; a chip that can't is dimmed and
    // never shows as picked. Null: all can.
    property var usable: null
    signal edited()

    function canUse(index) {
        return !usable || usable[index] === true
    }
    function isSelected(index) {
        if (!canUse(index))
            return false
        return multi ? (selection || []).indexOf(index) >= 0 : index === current
    }
    function choose(index) {
        if (index < 0 || index >= count || !canUse(index))
            return
        if (multi) {
            const chosen = new Set()
            for (const i of (selection || []))
                if (Number(i) !== index)
                    chosen.add(Number(i))
            if (!isSelected(index))
                chosen.add(index)
            selection = Array.from(chosen).sort((a, b) => a - b)
        } else {
            current = index
            selection = [index]
        }
        edited()
    }

    spacing: 5
    opacity: enabled ? 1 : 0.5

    Repeater {
        model: control.count
        delegate: T.AbstractButton {
            id: chip
            required property int index
            readonly property bool on: control.isSelected(index)
            text: control.letters.charAt(index)
            enabled: control.canUse(index)
            opacity: enabled ? 1 : 0.45
            implicitWidth: 30
            implicitHeight: 26
            focusPolicy: Qt.StrongFocus
            checkable: false
            onClicked: control.choose(index)
            Keys.onReturnPressed: control.choose(index)
            Keys.onEnterPressed: control.choose(index)
            Keys.onLeftPressed: nextItemInFocusChain(false).forceActiveFocus(Qt.TabFocusReason)
            Keys.onRightPressed: nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)

            Accessible.role: control.multi ? Accessible.CheckBox : Accessible.RadioButton
            Accessible.name: "Deck " + text
            Accessible.checkable: true
            Accessible.checked: on
            Accessible.onPressAction: control.choose(index)
            Accessible.onToggleAction: control.choose(index)

            background: Rectangle {
                radius: 6
                border.width: 1
                border.color: chip.on ? Qt.darker(Chrome.palette.accentInk, 1.4) : Qt.darker(Chrome.palette.chromeDark, 1.2)
                gradient: chip.on ? lit : cap
                CapGradient { id: cap }
                Gradient {
                    id: lit
                    GradientStop { position: 0; color: Qt.lighter(Chrome.palette.accentInk, 1.3) }
                    GradientStop { position: 0.5; color: Chrome.palette.accentInk }
                    GradientStop { position: 1; color: Qt.darker(Chrome.palette.accentInk, 1.3) }
                }
                Rectangle {
                    x: 1; y: 1
                    width: parent.width - 2
                    height: parent.height / 2
                    radius: 5
                    opacity: 0.5
                    gradient: GlossGradient {}
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 6
                    visible: chip.down || chip.hovered
                    color: chip.down ? Qt.rgba(0, 0, 0, 0.2) : Qt.rgba(1, 1, 1, 0.1)
                }
                FocusRing { visible: chip.visualFocus; radiusOf: 6 }
            }
            contentItem: Text {
                text: chip.text
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                font.pixelSize: 13
                font.weight: Font.Bold
                color: chip.on ? Chrome.palette.accentInkText : Chrome.palette.capText
            }
        }
    }
}
