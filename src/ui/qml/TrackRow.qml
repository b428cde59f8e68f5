import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// One track of the disc editor: its place, its CD-Text title and performer
// and its ISRC (typed in place), its length, and the buttons that move and
// remove it.
Rectangle {
    id: row
    required property int index
    required property string title
    required property string lengthText
    required property string note
    required property string performer
    required property string isrc
    required property DiscProject project
    required property int count
    required property bool locked
    readonly property string number: String(index + 1).padStart(2, "0")

    implicitHeight: rows.implicitHeight + 4
    radius: 5
    color: index % 2 === 0 ? "transparent" : (Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.035) : Qt.rgba(1, 1, 1, 0.035))

    Accessible.role: Accessible.ListItem
    Accessible.name: "Track " + number + ": " + title + ", " + lengthText + (note !== "" ? ". " + note : "")

    ColumnLayout {
        id: rows
        anchors { left: parent.left; right: parent.right; verticalCenter: parent.verticalCenter }
        spacing: 0
        RowLayout {
            spacing: 8
            Layout.fillWidth: true
            Text {
                text: row.number
                font.family: Chrome.monoFamily
                font.pixelSize: 13
                color: Chrome.palette.accentLabel
                Layout.preferredWidth: 22
            }
            TDTextField {
                objectName: "titleField"
                text: row.title
                placeholderText: "Title"
                enabled: !row.locked
                // Every keystroke reaches the project, so a burn started without
                // leaving the field still gets the typed title.
                onTextEdited: row.project.rename(row.index, text)
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                background.implicitHeight: 26
            }
            TDTextField {
                objectName: "performerField"
                text: row.performer
                // Empty, the track takes the disc's artist.
                placeholderText: row.project.artist !== "" ? row.project.artist : "Performer"
                Accessible.name: "Performer"
                enabled: !row.locked
                onTextEdited: row.project.setPerformer(row.index, text)
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                background.implicitHeight: 26
            }
            TDTextField {
                id: isrcField
                objectName: "isrcField"
                // Said once the field is left (or Enter pressed), not while a code is half typed.
                property bool judged: false
                readonly property string problem: row.project.codeProblem(text, false)
                text: row.isrc
                placeholderText: "ISRC"
                font.family: Chrome.monoFamily
                enabled: !row.locked
                onTextEdited: {
                    judged = false
                    row.project.setIsrc(row.index, text)
                }
                onEditingFinished: judged = true
                Layout.preferredWidth: 136
                background.implicitHeight: 26
            }
            Text {
                text: row.lengthText
                font.family: Chrome.monoFamily
                font.pixelSize: 13
                color: Chrome.palette.text
                horizontalAlignment: Text.AlignRight
                Layout.preferredWidth: 56
            }
            RowLayout {
                spacing: 2
                IconButton {
                    objectName: "moveUp"
                    symbol: "chevron.up"
                    help: "Move up"
                    enabled: !row.locked && row.index > 0
                    onClicked: row.project.move(row.index, -1)
                }
                IconButton {
                    objectName: "moveDown"
                    symbol: "chevron.down"
                    help: "Move down"
                    enabled: !row.locked && row.index < row.count - 1
                    onClicked: row.project.move(row.index, 1)
                }
                IconButton {
                    objectName: "removeTrack"
                    symbol: "xmark"
                    help: "Remove"
                    enabled: !row.locked
                    onClicked: row.project.remove(row.index)
                }
            }
        }
        Text {
            objectName: "trackNote"
            visible: row.note !== ""
            text: row.note
            color: Chrome.palette.waiting
            font.pixelSize: 11
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Layout.leftMargin: 30
            Layout.bottomMargin: 2
        }
        Text {
            objectName: "isrcProblem"
            visible: isrcField.judged && text !== ""
            text: isrcField.problem
            color: Chrome.palette.stop
            font.pixelSize: 11
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignRight
            Layout.fillWidth: true
            Layout.leftMargin: 30
            // Ends under the ISRC field: past the length and the buttons.
            Layout.rightMargin: 8 + 56 + 8 + 3 * 26 + 2 * 2
            Layout.bottomMargin: 2
        }
        CDTextNote {
            objectName: "titleWarning"
            // Title and performer both go to CD-Text.
            source: row.title + row.performer
            // Under the title field: past the number column and its spacing.
            Layout.leftMargin: 30
            Layout.bottomMargin: 2
        }
    }
}
