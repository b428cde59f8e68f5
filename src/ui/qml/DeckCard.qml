import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// One deck on the Audio CD screen: its burner and tray, the disc turning
// while it works, its readouts and meters, its speed, and its buttons.
Card {
    id: card
    required property AppModel app
    required property Deck deck
    // Where the tray's Insert Disc Image… asks for the image.
    property Panels panels: null
    // Two decks get roomy cards; three or more share the width.
    property bool large: false

    readonly property bool independent: app.modeName === "Independent"
    readonly property bool editing: app.editingIndex === deck.index
    // Neighbouring decks alternate between two tones of the accent.
    readonly property color ink: deck.index % 2 === 0 ? Chrome.palette.accentInk : Chrome.palette.accentInkAlt
    readonly property DiscProject project: {
        app.mode // the disc a deck burns follows the mode
        return app.projectForDeck(deck)
    }
    readonly property var speeds: [4, 8, 16, 24, 0]
    // A copy of a master in Copies mode is an image burn, but this screen's own.
    readonly property bool stackCopy: app.stackDecks.includes(deck.index)
    // A queued image burn, erase or disc copy is stopped from the queue.
    readonly property bool queueOwnsDeck: deck.busy && deck.opName !== "none" && deck.opName !== "audio" && !stackCopy
    // A resting deck whose last job was no audio burn: that job's outcome is
    // told on the Data & ISO screen, not here as if it were this disc's.
    readonly property bool othersNews: ["done", "failed", "stopped"].includes(deck.stateName)
                                       && deck.lastOpName !== "audio" && !stackCopy

    function mainLabel() {
        if (deck.busy)
            return "Stop"
        if (deck.stateName === "waiting")
            return "Burn next"
        if (deck.stateName === "done" && !othersNews)
            return app.modeName === "Copies" ? "Burn next" : "Burn again"
        return app.test ? "Test" : app.demo ? "Demo" : "Burn"
    }
    function firstStat() {
        if (deck.busy && deck.opName === "audio" && deck.currentTrack >= 1)
            return deck.currentTrack + "/" + (project ? project.count : 0)
        if (deck.busy)
            return Math.floor(deck.progress * 100) + "%"
        return "—"
    }

    title: "DECK " + deck.letter
    symbol: "opticaldiscdrive.fill"
    helpTopic: "audio-options"
    spacing: 8

    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        ColumnLayout {
            spacing: 4
            Layout.alignment: Qt.AlignTop
            DiscGraphic {
                objectName: "disc"
                progress: card.othersNews ? 0 : card.deck.progress
                spinning: card.deck.busy
                color: card.ink
                small: !card.large
                Layout.preferredWidth: card.large ? 112 : 72
                Layout.preferredHeight: Layout.preferredWidth
                Layout.alignment: Qt.AlignHCenter
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 3
            Text {
                objectName: "driveName"
                text: card.deck.driveName
                color: Chrome.palette.text
                font.pixelSize: 13
                font.bold: true
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            Text {
                objectName: "interconnect"
                visible: card.deck.interconnect !== ""
                text: card.deck.interconnect
                color: Chrome.palette.dimText
                font.pixelSize: 11
                Layout.fillWidth: true
            }
            Text {
                objectName: "mediaText"
                visible: card.deck.hasDrive
                text: card.deck.mediaText
                color: card.deck.blankLoaded ? Chrome.palette.ok : Chrome.palette.text
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            Text {
                objectName: "capsLine"
                visible: card.deck.hasDrive && card.deck.capsSummary !== ""
                text: card.deck.capsSummary
                color: Chrome.palette.dimText
                font.pixelSize: 11
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            Hint {
                objectName: "plugHint"
                visible: !card.deck.hasDrive
                text: "Plug a burner straight into the computer, then Refresh Drives"
            }
        }
    }
    Text {
        objectName: "phaseLine"
        // The job is named only while it is the deck's news: at work or just ended.
        readonly property bool namesJob: card.deck.jobName !== ""
                                         && (card.deck.busy || ["done", "failed", "stopped"].includes(card.deck.stateName))
        // An empty slot isn't "Ready"; the plug hint speaks for it.
        visible: card.deck.hasDrive || card.app.demo || card.deck.stateName !== "idle"
        text: card.othersNews ? "Ready" : (namesJob ? card.deck.jobName + " — " : "") + card.deck.phase
        color: card.othersNews ? Chrome.palette.text
               : card.deck.stateName === "failed" ? Chrome.palette.stop
               : card.deck.stateName === "done" ? Chrome.palette.ok : Chrome.palette.text
        font.pixelSize: 12
        font.bold: true
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
        Layout.fillWidth: true
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        Stat {
            objectName: "trackStat"
            label: card.deck.opName === "audio" ? "Track" : "Done"
            value: card.firstStat()
            small: !card.large
            Layout.fillWidth: true
        }
        Stat {
            objectName: "speedStat"
            label: "Speed"
            value: card.deck.busy && card.deck.actualX > 0 ? card.deck.actualX.toFixed(1) + "x" : "—"
            small: !card.large
            Layout.fillWidth: true
        }
        Stat {
            objectName: "leftStat"
            label: "Left"
            value: card.deck.etaText
            small: !card.large
            Layout.fillWidth: true
        }
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        Text {
            text: "BUFFER"
            color: Chrome.palette.dimText
            font.pixelSize: 10
            font.weight: Font.DemiBold
            font.letterSpacing: 1
        }
        LevelMeter {
            objectName: "bufferMeter"
            label: "Buffer"
            level: card.deck.buffer
            ink: card.ink
            Layout.fillWidth: true
        }
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        Text {
            objectName: "speedCaption"
            text: "SPEED" + (card.deck.maxSpeedX > 0 ? " · drive max " + card.deck.maxSpeedX + "x" : "")
            color: Chrome.palette.dimText
            font.pixelSize: 10
            font.weight: Font.DemiBold
            font.letterSpacing: 1
        }
        SegmentedControl {
            objectName: "speedSelector"
            compact: true
            model: ["4x", "8x", "16x", "24x", "Max"]
            currentIndex: Math.max(0, card.speeds.indexOf(card.deck.speedX))
            enabled: !card.deck.busy
            Accessible.name: "Speed"
            onActivated: index => {
                card.deck.speedX = card.speeds[index]
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        ChromeButton {
            objectName: "mainButton"
            text: card.mainLabel()
            symbol: card.deck.busy ? "stop.fill" : "flame.fill"
            compact: true
            prominent: !card.deck.busy
            // Without a burner only a demo can start; a running deck can always be stopped.
            enabled: !card.queueOwnsDeck && (card.deck.busy || card.deck.hasDrive || card.app.demo)
            onClicked: card.deck.busy ? card.deck.stop() : card.app.start(card.deck)
        }
        ChromeButton {
            objectName: "ejectButton"
            text: "Eject"
            symbol: "eject"
            compact: true
            enabled: card.deck.hasDrive && !card.deck.busy
            onClicked: card.deck.eject()
        }
        ChromeButton {
            id: trayButton
            objectName: "trayButton"
            // Only a burner the program loads itself (a virtual one) has these.
            visible: card.deck.trayMedia.length > 0
            text: "Tray"
            symbol: "opticaldisc"
            help: "Put a blank or a disc image in this virtual burner"
            compact: true
            enabled: !card.deck.busy
            onClicked: trayMenu.popup(trayButton, 0, trayButton.height + 4)
            FittedMenu {
                id: trayMenu
                objectName: "trayMenu"
                FittedMenu {
                    id: blankMenu
                    objectName: "insertBlankMenu"
                    title: "Insert Blank"
                    Instantiator {
                        model: card.deck.trayMedia
                        delegate: MenuEntry {
                            required property string modelData
                            objectName: "blank " + modelData
                            text: modelData
                            onTriggered: card.deck.insertMedium(modelData)
                        }
                        onObjectAdded: (index, entry) => blankMenu.insertItem(index, entry)
                        onObjectRemoved: (index, entry) => blankMenu.removeItem(entry)
                    }
                }
                MenuEntry {
                    objectName: "insertImageEntry"
                    text: "Insert Disc Image…"
                    enabled: card.panels !== null
                    onTriggered: card.panels.chooseFile("Choose a .cue, .toc or .iso image to put in Deck " + card.deck.letter,
                                                        path => card.deck.insertImage(path))
                }
            }
        }
        Item { Layout.fillWidth: true }
        ChromeButton {
            objectName: "editButton"
            visible: card.independent
            text: card.editing ? "Editing" : "Edit disc"
            symbol: "music.note.list"
            compact: true
            prominent: card.editing
            onClicked: card.app.editingIndex = card.deck.index
        }
    }
}
