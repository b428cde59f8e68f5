import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// Every queued job in order, with a way to clear the finished ones.
Card {
    id: card
    objectName: "queueCard"
    required property AppModel app
    readonly property JobQueue queue: app.queue

    title: "Queue (" + queue.activeCount + " to do)"
    symbol: "list.number"
    helpTopic: "queue"

    ChromeWell {
        Layout.fillWidth: true
        spacing: 6
        Text {
            Layout.fillWidth: true
            visible: jobList.count === 0
            text: "Nothing in the queue. Burns, image making, disc copies, erases and checks you start show up here and run in order — a job for a free burner never waits for a busy one."
            wrapMode: Text.Wrap
            color: Chrome.palette.dimText
            font.pixelSize: 12
        }
        Repeater {
            id: jobList
            model: card.queue.jobs
            delegate: JobRow {
                Layout.fillWidth: true
                queue: card.queue
            }
        }
    }
    ChromeButton {
        objectName: "clearFinished"
        Layout.alignment: Qt.AlignRight
        text: "Clear Finished"
        compact: true
        enabled: card.queue.finishedCount > 0
        onClicked: card.queue.clearFinished()
    }
}
