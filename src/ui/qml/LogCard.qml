import QtCore
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tandor.Core

// The burn log, newest line on top, with its save and show commands.
Panel {
    id: card

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            Label {
                text: "Burn Log"
                font.bold: true
                font.pixelSize: 15
                color: card.ink
                Layout.fillWidth: true
                Accessible.role: Accessible.Heading
            }
            Button {
                text: "Save Burn Log…"
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: saveDialog.open()
            }
            Button {
                text: "Show in File Manager"
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: card.app.revealLogFile()
            }
        }

        ListView {
            id: lines
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: card.app.logLines
            spacing: 4
            ScrollBar.vertical: ScrollBar {}
            Accessible.name: "Burn log"
            delegate: RowLayout {
                required property string time
                required property string text
                width: lines.width - 12
                spacing: 10
                Label {
                    text: parent.time
                    font.family: "monospace"
                    color: card.accent
                    Layout.alignment: Qt.AlignTop
                }
                Label {
                    text: parent.text
                    color: card.ink
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }
        }
    }

    FileDialog {
        id: saveDialog
        title: "Save a copy of the burn log"
        fileMode: FileDialog.SaveFile
        currentFolder: StandardPaths.standardLocations(StandardPaths.DocumentsLocation)[0]
        selectedFile: currentFolder + "/KLVO Tandor Log.txt"
        nameFilters: ["Text files (*.txt)", "All files (*)"]
        onAccepted: {
            var url = selectedFile.toString()
            card.app.saveLogCopy(decodeURIComponent(url.replace(/^file:\/\//, "")))
        }
    }
}
