import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// The row of burn settings: the mode (with its hint), how many decks to
// show, the options every audio burn takes, and Burn all decks.
Card {
    id: card
    required property AppModel app
    readonly property var deckOptions: [0, 2, 4, 6]

    title: "Audio CD"
    symbol: "opticaldisc"
    helpTopic: "audio-modes"

    // What to burn on the left, how to burn it on the right; on a page too
    // narrow for both on one line, the options go under the mode.
    GridLayout {
        id: settings
        // Measured on the card, not the grid, whose width follows its columns.
        readonly property bool oneLine: parent.width >= what.implicitWidth + how.implicitWidth + columnSpacing
        Layout.fillWidth: true
        columns: oneLine ? 2 : 1
        columnSpacing: 14
        rowSpacing: 10
        RowLayout {
            id: what
            spacing: 14
            SegmentedControl {
                objectName: "modeSelector"
                model: ["Mirror", "Independent", "Copies"]
                currentIndex: card.app.mode
                enabled: !card.app.anyBusy
                Accessible.name: "Mode"
                onActivated: index => {
                    // A pick that can't happen while a deck works (the control is
                    // disabled then); it starts the copy count afresh.
                    card.app.mode = index
                    card.app.editingIndex = 0
                    card.app.resetQueue()
                }
            }
            RowLayout {
                spacing: 6
                Text {
                    text: "Decks"
                    color: Chrome.palette.dimText
                    font.pixelSize: 12
                }
                SegmentedControl {
                    objectName: "deckCountSelector"
                    compact: true
                    model: ["Auto", "2", "4", "6"]
                    currentIndex: Math.max(0, card.deckOptions.indexOf(card.app.deckSetting))
                    help: "How many decks to show. Auto shows one per burner plugged in."
                    Accessible.name: "Decks"
                    onActivated: index => {
                        card.app.deckSetting = card.deckOptions[index]
                    }
                }
            }
            // Pushes the options to the right when they share the line.
            Item { Layout.fillWidth: true }
        }
        RowLayout {
            id: how
            spacing: 14
            Layout.alignment: settings.oneLine ? Qt.AlignRight : Qt.AlignLeft
            ChromeCheckbox {
                objectName: "testBox"
                text: "Test burn"
                help: "The burner goes through every step with the laser at low power. The disc is not written."
                checked: card.app.test
                onToggled: card.app.test = checked
            }
            ChromeCheckbox {
                objectName: "verifyBox"
                text: "Verify"
                help: "Reads each disc back after burning and checks every byte."
                checked: card.app.verify
                onToggled: card.app.verify = checked
            }
            ChromeCheckbox {
                objectName: "loudnessBox"
                text: "Match loudness"
                help: "Evens out the volume between tracks before burning."
                checked: card.app.matchLoudness
                onToggled: card.app.matchLoudness = checked
            }
            ChromeButton {
                objectName: "burnAllButton"
                text: card.app.test ? "Test all decks" : "Burn all decks"
                symbol: "flame.fill"
                prominent: true
                enabled: !card.app.anyBusy
                help: "Starts every deck with a blank CD-R, 1.5 seconds apart so the burners don't all draw power at once (Shift+Ctrl+B)."
                onClicked: card.app.burnAll()
            }
        }
    }
    Hint {
        objectName: "modeHint"
        text: card.app.modeHelp
    }
}
