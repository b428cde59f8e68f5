import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tandor.Core
import Tandor.Kit

// The disc being edited: CD-Text, tracks and the 80-minute fit.
Card {
    id: panel
    required property AppModel app
    readonly property DiscProject project: app.editingProject
    readonly property bool locked: app.anyBusy

    title: app.modeName === "Independent" ? "Disc for Deck " + "ABCDEF"[app.editingIndex]
           : app.modeName === "Copies" ? "Disc to copy" : "Disc for every deck"
    symbol: "music.note"
    helpTopic: "audio-tracks"
    fillContent: true

    RowLayout {
        Layout.fillWidth: true
        TDTextField {
            placeholderText: "Album"
            text: panel.project.album
            enabled: !panel.locked
            onEditingFinished: panel.project.album = text
            Layout.fillWidth: true
        }
        TDTextField {
            placeholderText: "Artist"
            text: panel.project.artist
            enabled: !panel.locked
            onEditingFinished: panel.project.artist = text
            Layout.fillWidth: true
        }
    }
    ChromeWell {
        fillContent: true
        Layout.fillWidth: true
        Layout.fillHeight: true
        Layout.minimumHeight: 200
        ListView {
            id: tracks
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 2
            model: TrackListModel { project: panel.project }
            ScrollBar.vertical: ScrollBar {}
            Accessible.role: Accessible.List
            Accessible.name: "Tracks"
            delegate: RowLayout {
                required property int index
                required property string title
                required property string lengthText
                width: tracks.width - 12
                spacing: 8
                Text {
                    text: String(parent.index + 1).padStart(2, "0")
                    font.family: Chrome.monoFamily
                    color: Chrome.palette.accentInk
                }
                Text {
                    text: parent.title
                    color: Chrome.palette.text
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Text {
                    text: parent.lengthText
                    font.family: Chrome.monoFamily
                    color: Chrome.palette.accentInk
                }
                IconButton {
                    symbol: "xmark.circle"
                    help: "Remove " + parent.title
                    enabled: !panel.locked
                    onClicked: panel.project.remove(parent.index)
                }
            }
            Text {
                anchors.centerIn: parent
                visible: tracks.count === 0
                text: "Add WAV, AIFF, MP3, M4A or FLAC files"
                color: Chrome.palette.dimText
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true
        ChromeButton {
            text: "Add Tracks…"
            symbol: "plus"
            compact: true
            enabled: !panel.locked
            onClicked: addDialog.open()
        }
        ChromeButton {
            text: "Clear"
            compact: true
            enabled: !panel.locked && tracks.count > 0
            onClicked: panel.project.clear()
        }
        Item { Layout.fillWidth: true }
        LCDChip {
            readonly property bool over: panel.project.totalSeconds > 4800
            text: panel.project.count + " TRACKS · " + panel.fmt(panel.project.totalSeconds) + " OF 80:00"
        }
    }

    function fmt(seconds) {
        const s = Math.max(0, Math.round(seconds))
        return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0")
    }

    FileDialog {
        id: addDialog
        title: "Choose WAV, AIFF, MP3, M4A or FLAC files for this disc"
        fileMode: FileDialog.OpenFiles
        nameFilters: ["Audio files (*.wav *.aif *.aiff *.mp3 *.m4a *.flac)", "All files (*)"]
        onAccepted: {
            const paths = []
            for (let i = 0; i < selectedFiles.length; ++i) {
                const path = WindowRules.localPath(selectedFiles[i])
                if (path !== "")
                    paths.push(path)
            }
            panel.project.add(paths)
        }
    }
}
