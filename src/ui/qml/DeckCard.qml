import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.Core

// One deck: its burner and tray, what it is doing, and its controls.
Panel {
    id: card
    required property Deck deck

    implicitHeight: column.implicitHeight + 24
    implicitWidth: 320
    Accessible.role: Accessible.Grouping
    Accessible.name: "Deck " + deck.letter

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 12
        spacing: 4

        RowLayout {
            Layout.fillWidth: true
            Label {
                text: "Deck " + card.deck.letter
                font.bold: true
                font.pixelSize: 15
                color: card.accent
            }
            Label {
                text: card.deck.driveName + (card.deck.interconnect ? " · " + card.deck.interconnect : "")
                color: card.ink
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
        }
        Label {
            visible: card.deck.hasDrive
            text: card.deck.mediaText
            color: card.deck.blankLoaded ? card.accent : card.ink
            elide: Text.ElideRight
            Layout.fillWidth: true
        }
        Label {
            visible: card.deck.hasDrive
            text: card.deck.capsSummary
            color: card.ink
            opacity: 0.7
            font.pixelSize: 11
            elide: Text.ElideRight
            Layout.fillWidth: true
        }
        Label {
            text: (card.deck.jobName ? card.deck.jobName + " — " : "") + card.deck.phase
            color: card.deck.stateName === "failed" ? "#ff5c66" : card.ink
            font.bold: true
            elide: Text.ElideRight
            Layout.fillWidth: true
            Accessible.name: "Status: " + text
        }
        ProgressBar {
            value: card.deck.progress
            Layout.fillWidth: true
            Accessible.name: "Progress"
        }
        RowLayout {
            Layout.fillWidth: true
            Label {
                text: card.deck.actualX > 0 ? card.deck.actualX.toFixed(1) + "x" : "—"
                font.family: "monospace"
                color: card.accent
                Layout.preferredWidth: 48
            }
            Label {
                text: (card.deck.currentTrack > 0 ? "Track " + card.deck.currentTrack + "  " : "") + card.deck.etaText
                color: card.ink
                elide: Text.ElideRight
                Layout.fillWidth: true
                Layout.minimumWidth: 0
            }
            ComboBox {
                id: speed
                model: ["4x", "8x", "16x", "24x", "Max"]
                readonly property var values: [4, 8, 16, 24, 0]
                currentIndex: Math.max(0, values.indexOf(card.deck.speedX))
                onActivated: index => card.deck.speedX = values[index]
                enabled: !card.deck.busy
                Accessible.name: "Write speed"
                Layout.preferredWidth: 80
            }
            Button {
                text: card.deck.busy ? "Stop" : "Burn"
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: card.deck.busy ? card.deck.stop() : card.app.start(card.deck)
                Layout.preferredWidth: 64
            }
            Button {
                text: "Eject"
                enabled: card.deck.hasDrive && !card.deck.busy
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: card.deck.eject()
                Layout.preferredWidth: 64
            }
        }
    }
}
