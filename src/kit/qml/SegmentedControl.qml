import QtQuick
import Tandor.Kit

// A row of segments in a bezel groove; the chosen one is a raised cap with an
// accent light. Clicks and the arrow keys only report activated(index): the
// owner writes its model there, and currentIndex, bound to that model, follows.
// Setting currentIndex here would cut that binding, and the control would
// stop following changes made elsewhere.
FocusScope {
    id: control
    property var model: []
    property int currentIndex: 0
    property bool compact: false
    // The tooltip, and what a screen reader adds to the control's name.
    property string help
    signal activated(int index)

    readonly property int count: model ? model.length : 0
    readonly property real segmentWidth: {
        let w = 0
        for (let i = 0; i < repeater.count; ++i) {
            const item = repeater.itemAt(i)
            if (item)
                w = Math.max(w, item.labelWidth)
        }
        return w + (compact ? 18 : 26)
    }

    function select(index) {
        const i = Math.max(0, Math.min(count - 1, index))
        if (count === 0 || i === currentIndex)
            return
        activated(i)
    }

    implicitWidth: count * segmentWidth + 4
    implicitHeight: compact ? 24 : 30
    activeFocusOnTab: true
    opacity: enabled ? 1 : 0.6

    Keys.onLeftPressed: select(currentIndex - 1)
    Keys.onRightPressed: select(currentIndex + 1)
    Keys.onUpPressed: select(currentIndex - 1)
    Keys.onDownPressed: select(currentIndex + 1)
    Keys.onPressed: event => {
        if (event.key === Qt.Key_Home) { select(0); event.accepted = true }
        else if (event.key === Qt.Key_End) { select(count - 1); event.accepted = true }
    }

    Accessible.role: Accessible.PageTabList
    Accessible.description: help

    HoverHandler { id: controlHover }
    KitToolTip {
        text: control.help
        visible: controlHover.hovered && control.help !== ""
    }

    Rectangle {
        id: groove
        anchors.fill: parent
        radius: 7
        color: Chrome.palette.isLight ? Qt.darker(Chrome.palette.panelBottom, 1.12) : Chrome.palette.lcdBack
        border.width: 1
        border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.22) : Qt.rgba(1, 1, 1, 0.10)
        FocusRing { visible: control.activeFocus; radiusOf: 7 }
    }

    Row {
        x: 2; y: 2
        height: parent.height - 4
        Repeater {
            id: repeater
            model: control.model
            delegate: Item {
                id: segment
                required property int index
                required property var modelData
                readonly property bool selected: index === control.currentIndex
                readonly property real labelWidth: label.implicitWidth
                width: control.segmentWidth
                height: parent.height

                Accessible.role: Accessible.PageTab
                Accessible.name: String(modelData)
                Accessible.checkable: true
                Accessible.checked: selected
                Accessible.selectable: true
                Accessible.selected: selected
                Accessible.onPressAction: control.select(index)

                Rectangle {
                    anchors.fill: parent
                    visible: segment.selected
                    radius: 5
                    gradient: CapGradient {}
                    border.width: 1
                    border.color: Qt.darker(Chrome.palette.chromeDark, 1.2)
                    Rectangle {
                        x: 1; y: 1
                        width: parent.width - 2
                        height: parent.height / 2
                        radius: 4
                        opacity: 0.5
                        gradient: GlossGradient {}
                    }
                    // The lit indicator along the bottom of the chosen cap.
                    Rectangle {
                        anchors.horizontalCenter: parent.horizontalCenter
                        anchors.bottom: parent.bottom
                        anchors.bottomMargin: 3
                        width: Math.min(parent.width - 16, 28)
                        height: 2
                        radius: 1
                        color: Chrome.palette.isLight ? Chrome.palette.accentInk : Chrome.palette.lcdText
                    }
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 5
                    visible: !segment.selected && hover.hovered
                    color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.06) : Qt.rgba(1, 1, 1, 0.07)
                }
                // Hairlines between unselected neighbours.
                Rectangle {
                    visible: segment.index > 0 && !segment.selected && segment.index - 1 !== control.currentIndex
                    x: 0; y: 6
                    width: 1
                    height: parent.height - 12
                    color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.18) : Qt.rgba(1, 1, 1, 0.12)
                }
                Text {
                    id: label
                    anchors.centerIn: parent
                    anchors.verticalCenterOffset: segment.selected ? -1 : 0
                    text: String(segment.modelData)
                    font.pixelSize: control.compact ? 12 : 13
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    color: segment.selected ? Chrome.palette.capText
                         : Chrome.palette.isLight ? Chrome.palette.dimText
                         : Chrome.palette.chromeLight
                }
                HoverHandler { id: hover }
                TapHandler {
                    onTapped: {
                        control.forceActiveFocus(Qt.MouseFocusReason)
                        control.select(segment.index)
                    }
                }
            }
        }
    }
}
