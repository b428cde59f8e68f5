import QtQuick
import QtQuick.Layouts
import Tandor.Kit

// Every control of the kit on one window-like page, for looking at themes.
Rectangle {
    id: page
    width: 1120
    height: 700
    gradient: WindowGradient {}

    RowLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 14

        ColumnLayout {
            Layout.preferredWidth: 500
            Layout.alignment: Qt.AlignTop
            spacing: 14
            Card {
                Layout.fillWidth: true
                title: "Burn a disc image"
                symbol: "flame.fill"
                helpTopic: "burn-image"
                RowLayout {
                    Layout.fillWidth: true
                    PathWell { Layout.fillWidth: true; path: "/home/user/Downloads/debian-12.2.0-amd64-netinst.iso"; symbol: "opticaldisc" }
                    ChromeButton { text: "Choose Image…"; compact: true }
                }
                RowLayout {
                    spacing: 8
                    LCDChip { text: "ISO" }
                    Text { text: "658 MB"; color: Chrome.palette.text }
                    Item { Layout.fillWidth: true }
                    Text { text: "Fits on a DVD"; color: Chrome.palette.dimText }
                }
                RowLayout {
                    Text { text: "Burn on"; color: Chrome.palette.text }
                    DeckChips { count: 4; selection: [0, 2] }
                }
                RowLayout {
                    spacing: 16
                    ChromeCheckbox { text: "Test burn"; help: "Laser at low power." }
                    ChromeCheckbox { text: "Verify (read back)"; checked: true }
                    ChromeCheckbox { text: "SHA-256 check"; enabled: false }
                }
                Hint { text: "Each deck burns at its own speed (set it on the Audio CD screen deck card). Two decks burn at the same time." }
                RowLayout {
                    ChromeButton { text: "Burn Image"; symbol: "flame.fill"; prominent: true }
                    ChromeButton { objectName: "focused"; text: "Eject"; symbol: "eject" }
                    ChromeButton { text: "Stop"; compact: true }
                    IconButton { symbol: "arrow.up"; help: "Move up" }
                    IconButton { symbol: "stop.circle"; help: "Stop" }
                    IconButton { symbol: "xmark.circle"; help: "Remove from the list" }
                }
            }
            Card {
                Layout.fillWidth: true
                title: "Queue (1 to do)"
                symbol: "list.number"
                helpTopic: "queue"
                ChromeWell {
                    Layout.fillWidth: true
                    RowLayout {
                        Icon { symbol: "flame"; color: Chrome.palette.text }
                        Text { text: "Burn “Holiday.iso” on Deck A"; color: Chrome.palette.text; Layout.fillWidth: true }
                        Text { text: "Running"; color: Chrome.palette.accent }
                    }
                    GlowBar { Layout.fillWidth: true; value: 0.42 }
                    RowLayout {
                        Icon { symbol: "number"; color: Chrome.palette.text }
                        Text { text: "Checksums of “disc.iso”"; color: Chrome.palette.text; Layout.fillWidth: true }
                        Text { text: "Done"; color: Chrome.palette.ok }
                        Text { text: "Failed"; color: Chrome.palette.stop }
                        Text { text: "Waiting"; color: Chrome.palette.waiting }
                    }
                }
                SegmentedControl { model: ["Quick", "Complete"]; currentIndex: 1 }
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 14
            Card {
                Layout.fillWidth: true
                title: "DECK A"
                symbol: "opticaldiscdrive.fill"
                RowLayout {
                    spacing: 16
                    DiscGraphic { progress: 0.62; spinning: false }
                    DiscGraphic { progress: 0.25; small: true; color: Chrome.palette.lcdText }
                    ColumnLayout {
                        Row { spacing: 6; Lamp { on: true; anchors.verticalCenter: parent.verticalCenter } Lamp { on: false; color: Chrome.palette.stop; anchors.verticalCenter: parent.verticalCenter } LCDChip { text: "2 BURNERS · 1 RUNNING" } }
                        Text { text: "BUFFER"; color: Chrome.palette.dimText; font.pixelSize: 10 }
                        LevelMeter { level: 0.8; Layout.fillWidth: true }
                        SegmentedControl { model: ["4x", "8x", "16x", "24x", "Max"]; currentIndex: 4; compact: true }
                    }
                }
                RowLayout {
                    spacing: 18
                    Knob { from: 0; to: 5; stepSize: 1; value: 2; label: "Gap"; valueText: value.toFixed(0) + " s" }
                    Knob { value: 0.8; label: "Level" }
                    Fader { value: 0.65; implicitHeight: 110 }
                    Fader { value: 0.3; orientation: Qt.Horizontal; Layout.preferredWidth: 140 }
                }
                SegmentedControl { model: ["Audio CD", "Data & ISO", "Checksums & Mount"]; currentIndex: 0 }
            }
        }
    }
}
