import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// Copies mode: how many copies to make and how far the stack has got.
Card {
    id: card
    required property AppModel app
    // A copy given back after a failure can leave started below done for a
    // moment; no count is ever shown below zero.
    readonly property int burning: Math.max(app.copiesStarted - app.copiesDone, 0)
    readonly property int waiting: Math.max(app.copies - app.copiesStarted, 0)

    title: "Copies"
    symbol: "square.stack.3d.up.fill"
    helpTopic: "audio-modes"

    RowLayout {
        Layout.fillWidth: true
        spacing: 14
        Stepper {
            objectName: "copiesStepper"
            label: "Copies to make"
            from: 1
            to: 500
            value: card.app.copies
            onMoved: {
                card.app.copies = value
                value = Qt.binding(() => card.app.copies)
            }
        }
        GlowBar {
            objectName: "copiesBar"
            value: card.app.copies > 0 ? card.app.copiesDone / card.app.copies : 0
            Layout.fillWidth: true
        }
        LCDChip {
            objectName: "copiesLine"
            text: card.app.copiesDone + " DONE · " + card.burning + " BURNING · " + card.waiting + " WAITING"
        }
    }
    Hint {
        text: "After each copy, put a blank CD-R in that deck and it starts on its own."
    }
}
