import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tandor.Core

// The disc being edited: CD-Text, tracks and the 80-minute fit.
Panel {
    id: panel
    readonly property DiscProject project: app.editingProject
    readonly property bool locked: app.anyBusy

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        Label {
            text: panel.app.modeName === "Independent" ? "Disc for Deck " + "ABCDEF"[panel.app.editingIndex]
                  : panel.app.modeName === "Copies" ? "Disc to copy" : "Disc for every deck"
            font.bold: true
            font.pixelSize: 15
            color: panel.ink
            Accessible.role: Accessible.Heading
        }
        RowLayout {
            Layout.fillWidth: true
            TextField {
                placeholderText: "Album"
                text: panel.project.album
                enabled: !panel.locked
                onEditingFinished: panel.project.album = text
                Accessible.name: "Album"
                Layout.fillWidth: true
            }
            TextField {
                placeholderText: "Artist"
                text: panel.project.artist
                enabled: !panel.locked
                onEditingFinished: panel.project.artist = text
                Accessible.name: "Artist"
                Layout.fillWidth: true
            }
        }
        ListView {
            id: tracks
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 2
            model: TrackListModel { project: panel.project }
            ScrollBar.vertical: ScrollBar {}
            Accessible.name: "Tracks"
            delegate: RowLayout {
                required property int index
                required property string title
                required property string lengthText
                width: tracks.width - 12
                Label {
                    text: String(parent.index + 1).padStart(2, "0")
                    font.family: "monospace"
                    color: panel.accent
                }
                Label {
                    text: parent.title
                    color: panel.ink
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Label {
                    text: parent.lengthText
                    font.family: "monospace"
                    color: panel.ink
                }
                Button {
                    text: "Remove"
                    flat: true
                    enabled: !panel.locked
                    Accessible.name: text
                    Accessible.onPressAction: clicked()
                    onClicked: panel.project.remove(parent.index)
                }
            }
            Label {
                anchors.centerIn: parent
                visible: tracks.count === 0
                text: "Add WAV, AIFF, MP3, M4A or FLAC files"
                color: panel.ink
                opacity: 0.6
            }
        }
        RowLayout {
            Layout.fillWidth: true
            Button {
                text: "Add Tracks…"
                enabled: !panel.locked
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: addDialog.open()
            }
            Button {
                text: "Clear"
                enabled: !panel.locked && tracks.count > 0
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: panel.project.clear()
            }
            Label {
                readonly property bool over: panel.project.totalSeconds > 4800
                text: panel.project.count + " TRACKS · " + panel.fmt(panel.project.totalSeconds) + " of 80:00"
                color: over ? "#ff5c66" : panel.ink
                horizontalAlignment: Text.AlignRight
                Layout.fillWidth: true
            }
        }
    }

    function fmt(seconds) {
        var s = Math.max(0, Math.round(seconds))
        return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0")
    }

    FileDialog {
        id: addDialog
        title: "Choose WAV, AIFF, MP3, M4A or FLAC files for this disc"
        fileMode: FileDialog.OpenFiles
        nameFilters: ["Audio files (*.wav *.aif *.aiff *.mp3 *.m4a *.flac)", "All files (*)"]
        onAccepted: {
            var paths = []
            for (var i = 0; i < selectedFiles.length; ++i)
                paths.push(decodeURIComponent(selectedFiles[i].toString().replace(/^file:\/\//, "")))
            panel.project.add(paths)
        }
    }
}
