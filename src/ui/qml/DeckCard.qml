import QtQuick
import QtQuick.Layouts
import Tandor.Core
import Tandor.Kit

// One deck: its burner and tray, what it is doing, and its controls.
Card {
    id: card
    required property AppModel app
    required property Deck deck
    readonly property bool independent: app.modeName === "Independent"
    readonly property var speeds: [4, 8, 16, 24, 0]

    title: "Deck " + deck.letter
    symbol: "opticaldiscdrive.fill"
    helpTopic: "audio-options"

    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        DiscGraphic {
            progress: card.deck.progress
            spinning: card.deck.busy
            Layout.preferredWidth: 64
            Layout.preferredHeight: 64
            Layout.alignment: Qt.AlignTop
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 3
            Text {
                text: card.deck.hasDrive
                      ? card.deck.driveName + (card.deck.interconnect ? " · " + card.deck.interconnect : "")
                      : "no burner"
                color: Chrome.palette.text
                font.pixelSize: 13
                font.bold: true
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            Text {
                visible: card.deck.hasDrive
                text: card.deck.mediaText
                color: card.deck.blankLoaded ? Chrome.palette.ok : Chrome.palette.text
                font.pixelSize: 12
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            Text {
                visible: card.deck.hasDrive && card.deck.capsSummary !== ""
                text: card.deck.capsSummary
                color: Chrome.palette.dimText
                font.pixelSize: 11
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            Text {
                text: (card.deck.jobName ? card.deck.jobName + " — " : "") + card.deck.phase
                color: card.deck.stateName === "failed" ? Chrome.palette.stop
                       : card.deck.stateName === "done" ? Chrome.palette.ok : Chrome.palette.text
                font.pixelSize: 12
                font.bold: true
                elide: Text.ElideRight
                Layout.fillWidth: true
                Accessible.role: Accessible.StaticText
                Accessible.name: "Status: " + text
            }
        }
    }
    GlowBar {
        value: card.deck.progress
        Layout.fillWidth: true
        Accessible.name: "Progress"
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        LCDChip {
            text: card.deck.actualX > 0 ? card.deck.actualX.toFixed(1) + "x" : "—"
            Layout.preferredWidth: 56
        }
        SegmentedControl {
            compact: true
            model: ["4x", "8x", "16x", "24x", "Max"]
            currentIndex: Math.max(0, card.speeds.indexOf(card.deck.speedX))
            enabled: !card.deck.busy
            Accessible.name: "Write speed"
            onActivated: index => card.deck.speedX = card.speeds[index]
        }
        Item { Layout.fillWidth: true }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        Text {
            // Track and time left mean something only while the deck works.
            text: card.deck.busy
                  ? (card.deck.currentTrack > 0 ? "Track " + card.deck.currentTrack + "  " : "") + card.deck.etaText
                  : ""
            color: Chrome.palette.dimText
            font.pixelSize: 12
            elide: Text.ElideRight
            Layout.fillWidth: true
            Layout.minimumWidth: 0
        }
        ChromeButton {
            visible: card.independent
            text: "Edit disc"
            compact: true
            enabled: card.app.editingIndex !== card.deck.index
            onClicked: card.app.editingIndex = card.deck.index
        }
        ChromeButton {
            text: card.deck.busy ? "Stop" : "Burn"
            symbol: card.deck.busy ? "stop.fill" : "flame.fill"
            compact: true
            prominent: !card.deck.busy
            onClicked: card.deck.busy ? card.deck.stop() : card.app.start(card.deck)
        }
        ChromeButton {
            text: "Eject"
            symbol: "eject"
            compact: true
            enabled: card.deck.hasDrive && !card.deck.busy
            onClicked: card.deck.eject()
        }
    }
}
