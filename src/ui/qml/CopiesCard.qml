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
    // A master read as a stack on the Data & ISO screen is copied in place of the project.
    RowLayout {
        visible: card.app.copySource !== ""
        Layout.fillWidth: true
        spacing: 10
        Text {
            objectName: "copiesSourceLine"
            Layout.fillWidth: true
            text: "Each copy is of the master " + card.app.copySourceName + ", not of the audio project below."
            color: Chrome.palette.text
            font.pixelSize: 12
            font.bold: true
            wrapMode: Text.Wrap
        }
        ChromeButton {
            objectName: "copiesFromProjectButton"
            text: "Copy the project instead"
            compact: true
            enabled: !card.app.anyBusy
            help: "Copies mode burns the audio project again; the count starts afresh."
            onClicked: card.app.copyProject()
        }
    }
    Hint {
        text: "After each copy, put a blank CD-R in that deck and it starts on its own."
    }
}
