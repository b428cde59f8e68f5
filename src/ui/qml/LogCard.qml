import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// The burn log, newest line on top, with its save and show commands.
Card {
    id: card
    objectName: "logCard"
    required property AppModel app
    required property Panels panels

    title: "Burn log"
    symbol: "list.bullet.rectangle"
    helpTopic: "log"
    fillContent: true

    ChromeWell {
        fillContent: true
        Layout.fillWidth: true
        Layout.fillHeight: true
        Layout.minimumHeight: 150
        ListView {
            id: lines
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: card.app.logLines
            spacing: 3
            ScrollBar.vertical: ScrollBar {}
            Accessible.role: Accessible.List
            Accessible.name: "Burn log"
            delegate: RowLayout {
                id: entry
                required property string time
                required property string text
                required property string detail
                width: lines.width - 12
                spacing: 10
                // One stop per line for a screen reader, its time included.
                Accessible.role: Accessible.ListItem
                Accessible.name: entry.time + " " + entry.text
                Text {
                    text: entry.time
                    font.family: Chrome.monoFamily
                    font.pixelSize: 11
                    color: Chrome.palette.accentLabel
                    Layout.alignment: Qt.AlignTop
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 1
                    TextEdit {
                        text: entry.text
                        readOnly: true
                        selectByMouse: true
                        color: Chrome.palette.text
                        selectionColor: Chrome.palette.accent
                        selectedTextColor: Chrome.palette.accentText
                        font.pixelSize: 12
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    // The tool's own words, for whoever has to look further.
                    TextEdit {
                        objectName: "logDetail"
                        visible: entry.detail !== ""
                        text: entry.detail
                        readOnly: true
                        selectByMouse: true
                        color: Chrome.palette.dimText
                        selectionColor: Chrome.palette.accent
                        selectedTextColor: Chrome.palette.accentText
                        font.family: Chrome.monoFamily
                        font.pixelSize: 10
                        wrapMode: Text.WrapAnywhere
                        Layout.fillWidth: true
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true
        Item { Layout.fillWidth: true }
        ChromeButton {
            objectName: "saveLogButton"
            text: "Save Log…"
            symbol: "square.and.arrow.down"
            compact: true
            onClicked: card.panels.saveLog()
        }
        ChromeButton {
            text: "Show in File Manager"
            symbol: "folder"
            compact: true
            onClicked: card.app.revealLogFile()
        }
    }
}
