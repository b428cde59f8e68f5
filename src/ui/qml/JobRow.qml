import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// One job of the queue: what it is, its state, its buttons and its detail.
Rectangle {
    id: row
    required property var queue
    required property string jobId
    required property string title
    required property string state
    required property real progress
    required property string detail
    required property string symbol
    required property bool finished
    required property string waitReason
    required property int index

    readonly property bool waiting: state === "Waiting"
    readonly property bool running: state === "Running"
    readonly property string shownDetail: waiting ? (waitReason !== "" ? waitReason : "Waiting") : detail

    implicitHeight: column.implicitHeight + 16
    radius: 10
    color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.05) : Qt.rgba(1, 1, 1, 0.05)
    Accessible.role: Accessible.ListItem
    Accessible.name: title + ", " + state

    function stateColor() {
        switch (state) {
        case "Waiting": return Chrome.palette.waiting
        case "Running": return Chrome.palette.accentInk
        case "Done": return Chrome.palette.ok
        case "Failed": return Chrome.palette.stop
        default: return "grey"
        }
    }

    ColumnLayout {
        id: column
        anchors { left: parent.left; right: parent.right; top: parent.top; margins: 8 }
        spacing: 5

        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            Icon { symbol: row.symbol; size: 15; color: Chrome.palette.text }
            Text {
                Layout.fillWidth: true
                text: row.title
                color: Chrome.palette.text
                font.pixelSize: 13
                font.weight: Font.DemiBold
                elide: Text.ElideMiddle
            }
            Text {
                text: row.state
                color: row.stateColor()
                font.pixelSize: 12
                font.weight: Font.Bold
            }
            IconButton {
                visible: row.waiting && row.index > 0
                symbol: "arrow.up"
                help: "Move up"
                onClicked: row.queue.moveJobUp(row.jobId)
            }
            IconButton {
                visible: !row.finished
                symbol: "stop.circle"
                help: row.running ? "Stop" : "Cancel"
                onClicked: row.queue.cancelJob(row.jobId)
            }
            IconButton {
                visible: row.finished
                symbol: "xmark.circle"
                help: "Remove from the list"
                onClicked: row.queue.removeJob(row.jobId)
            }
        }
        GlowBar {
            Layout.fillWidth: true
            visible: row.running
            value: row.progress
        }
        TextEdit {
            objectName: "jobDetail"
            Layout.fillWidth: true
            visible: row.shownDetail !== ""
            text: row.shownDetail
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 11
            color: row.state === "Failed" ? Chrome.palette.stop : Chrome.palette.dimText
            // Up to three lines; the rest is cut off.
            clip: true
            Layout.maximumHeight: 3 * (font.pixelSize + 4)
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
