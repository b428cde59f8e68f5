import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.Core
import Tandor.Kit

// How the decks burn audio CDs: the mode, the options and Burn all.
Card {
    id: card
    required property AppModel app
    readonly property bool copiesMode: app.modeName === "Copies"

    title: "Audio CD"
    symbol: "opticaldisc"
    helpTopic: "audio-modes"

    RowLayout {
        Layout.fillWidth: true
        spacing: 14
        SegmentedControl {
            model: ["Mirror", "Independent", "Copies"]
            currentIndex: card.app.mode
            enabled: !card.app.anyBusy
            Accessible.name: "Burn mode"
            onActivated: index => {
                card.app.mode = index
                card.app.resetQueue()
            }
        }
        Item { Layout.fillWidth: true }
        ChromeCheckbox {
            text: "Test burn"
            checked: card.app.test
            onToggled: card.app.test = checked
        }
        ChromeCheckbox {
            text: "Verify"
            checked: card.app.verify
            onToggled: card.app.verify = checked
        }
        ChromeCheckbox {
            text: "Match loudness"
            checked: card.app.matchLoudness
            onToggled: card.app.matchLoudness = checked
        }
        ChromeButton {
            text: "Burn all"
            symbol: "flame.fill"
            prominent: true
            help: "Starts every deck that is ready (Shift+Ctrl+B)."
            onClicked: card.app.burnAll()
        }
    }
    RowLayout {
        visible: card.copiesMode
        spacing: 6
        ChromeButton {
            text: "−"
            compact: true
            help: "One copy fewer"
            enabled: card.app.copies > 1
            onClicked: card.app.copies = card.app.copies - 1
        }
        LCDChip { text: card.app.copies + " COPIES" }
        ChromeButton {
            text: "+"
            compact: true
            help: "One copy more"
            onClicked: card.app.copies = card.app.copies + 1
        }
        LCDChip {
            text: card.app.copiesDone + " DONE · "
                  + Math.max(0, card.app.copiesStarted - card.app.copiesDone) + " BURNING · "
                  + Math.max(0, card.app.copies - card.app.copiesStarted) + " WAITING"
        }
    }
    Hint {
        text: card.app.modeName === "Independent"
              ? "Independent: a different disc on each deck. Click Edit disc on a deck to set its tracks."
              : card.copiesMode
              ? "Copies: make a stack of copies. Whichever deck frees up first takes the next one. Insert a blank and it starts by itself."
              : "Mirror: one disc, burned on every deck at once. Each deck runs at its own speed and finishes on its own."
        Layout.fillWidth: true
    }
}
