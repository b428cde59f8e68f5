import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// The disc being prepared: CD-Text, its catalogue number, the gap, the
// tracks in burn order and whether they fit on an 80-minute CD-R. Files
// dropped from the file manager are added as they arrive. Locked while a deck
// burns the disc.
Card {
    id: editor
    required property AppModel app
    required property Panels panels
    readonly property DiscProject project: app.editingProject
    readonly property bool independent: app.modeName === "Independent"
    // In Independent mode only the edited deck's burn locks its disc; in the
    // other modes every deck burns this disc.
    readonly property bool locked: independent ? app.decks[app.editingIndex].busy : app.anyBusy
    readonly property bool dragging: drop.containsDrag && !locked

    title: independent ? "Disc for Deck " + app.decks[app.editingIndex].letter
           : app.modeName === "Copies" ? "Disc to copy" : "Disc for every deck"
    symbol: "music.note.list"
    helpTopic: "audio-tracks"

    accessory: [
        Row {
            spacing: 5
            visible: editor.locked
            Icon {
                symbol: "lock.fill"
                size: 14
                color: Chrome.palette.waiting
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                objectName: "lockedText"
                text: "Locked while burning"
                color: Chrome.palette.waiting
                font.pixelSize: 12
                font.bold: true
                anchors.verticalCenter: parent.verticalCenter
            }
        },
        LCDChip {
            objectName: "summaryLine"
            text: editor.project.count + (editor.project.count === 1 ? " TRACK · " : " TRACKS · ") + editor.project.totalText
        }
    ]

    // The highlight while files are dragged over the editor.
    Rectangle {
        parent: editor
        anchors.fill: parent
        z: 10
        radius: 12
        visible: editor.dragging
        color: Qt.rgba(Chrome.palette.accentInk.r, Chrome.palette.accentInk.g, Chrome.palette.accentInk.b, 0.12)
        border.width: 2
        border.color: Chrome.palette.accentInk
    }
    DropArea {
        id: drop
        objectName: "trackDrop"
        parent: editor
        anchors.fill: parent
        enabled: !editor.locked
        onEntered: drag => drag.accepted = drag.hasUrls
        onDropped: drop => {
            if (!drop.hasUrls)
                return
            // One add per file, so each track shows as soon as it is read;
            // the project keeps them in the order they were dropped.
            for (const url of drop.urls) {
                const path = WindowRules.localPath(url)
                if (path !== "")
                    editor.project.add([path])
            }
            drop.acceptProposedAction()
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 14
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 8
            TDTextField {
                objectName: "albumField"
                placeholderText: "Album title (CD-Text)"
                text: editor.project.album
                enabled: !editor.locked
                onTextEdited: editor.project.album = text
                Layout.fillWidth: true
            }
            CDTextNote {
                objectName: "albumWarning"
                source: editor.project.album
            }
            RowLayout {
                spacing: 8
                Layout.fillWidth: true
                TDTextField {
                    objectName: "artistField"
                    placeholderText: "Artist (CD-Text)"
                    text: editor.project.artist
                    enabled: !editor.locked
                    onTextEdited: editor.project.artist = text
                    Layout.fillWidth: true
                }
                TDTextField {
                    id: catalogField
                    objectName: "catalogField"
                    // Said once the field is left (or Enter pressed), not while a number is half typed.
                    property bool judged: false
                    readonly property string problem: editor.project.codeProblem(text, true)
                    placeholderText: "Catalogue no. (UPC/EAN)"
                    text: editor.project.catalog
                    font.family: Chrome.monoFamily
                    enabled: !editor.locked
                    onTextEdited: {
                        judged = false
                        editor.project.setCatalog(text)
                    }
                    onEditingFinished: judged = true
                    Layout.preferredWidth: 210
                }
            }
            CDTextNote {
                objectName: "artistWarning"
                source: editor.project.artist
            }
            Text {
                objectName: "catalogProblem"
                visible: catalogField.judged && text !== ""
                text: catalogField.problem
                color: Chrome.palette.stop
                font.pixelSize: 11
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignRight
                Layout.fillWidth: true
            }
        }
        Knob {
            objectName: "gapKnob"
            label: "Gap"
            from: 0
            to: 5
            stepSize: 1
            defaultValue: 2
            value: editor.project.gapSeconds
            valueText: value.toFixed(0) + " s"
            enabled: !editor.locked
            onMoved: {
                editor.project.gapSeconds = value
                value = Qt.binding(() => editor.project.gapSeconds)
            }
        }
    }

    ChromeWell {
        Layout.fillWidth: true
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Text {
                text: "#"
                color: Chrome.palette.dimText
                font.pixelSize: 10
                Layout.preferredWidth: 22
            }
            Text {
                text: "TITLE (CD-TEXT)"
                color: Chrome.palette.dimText
                font.pixelSize: 10
                font.weight: Font.DemiBold
                font.letterSpacing: 1
                Layout.fillWidth: true
                Layout.preferredWidth: 100
            }
            Text {
                text: "PERFORMER"
                color: Chrome.palette.dimText
                font.pixelSize: 10
                font.weight: Font.DemiBold
                font.letterSpacing: 1
                Layout.fillWidth: true
                Layout.preferredWidth: 100
            }
            Text {
                text: "ISRC"
                color: Chrome.palette.dimText
                font.pixelSize: 10
                font.weight: Font.DemiBold
                font.letterSpacing: 1
                Layout.preferredWidth: 136
            }
            Text {
                text: "LENGTH"
                color: Chrome.palette.dimText
                font.pixelSize: 10
                font.weight: Font.DemiBold
                font.letterSpacing: 1
                horizontalAlignment: Text.AlignRight
                Layout.preferredWidth: 56
            }
            // Room for the row buttons.
            Item { Layout.preferredWidth: 3 * 26 + 2 * 2 }
        }
        ListView {
            id: tracks
            objectName: "trackList"
            Layout.fillWidth: true
            // Grows with the tracks, then scrolls.
            Layout.preferredHeight: count === 0 ? 76 : Math.min(contentHeight, 380)
            clip: true
            spacing: 2
            boundsBehavior: Flickable.StopAtBounds
            interactive: contentHeight > height
            model: TrackListModel { project: editor.project }
            Accessible.role: Accessible.List
            Accessible.name: "Tracks"
            delegate: TrackRow {
                width: tracks.width
                project: editor.project
                count: tracks.count
                locked: editor.locked
            }
            Text {
                objectName: "emptyText"
                anchors.centerIn: parent
                visible: tracks.count === 0
                horizontalAlignment: Text.AlignHCenter
                text: "Drag audio files here, or click Add Tracks.\nWAV, AIFF, MP3, M4A and FLAC all work."
                color: Chrome.palette.dimText
                font.pixelSize: 13
                lineHeight: 1.2
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        ChromeButton {
            objectName: "addTracksButton"
            text: "Add Tracks…"
            symbol: "plus"
            compact: true
            enabled: !editor.locked
            onClicked: editor.panels.chooseAudioFiles(paths => editor.project.add(paths))
        }
        ChromeButton {
            objectName: "clearButton"
            text: "Clear"
            symbol: "trash"
            compact: true
            enabled: !editor.locked && editor.project.count > 0
            onClicked: editor.project.clear()
        }
        Item { Layout.preferredWidth: 10 }
        FitRow {
            objectName: "fitRow"
            seconds: editor.project.totalSeconds
            text: editor.project.totalText
            Layout.fillWidth: true
        }
    }
}
