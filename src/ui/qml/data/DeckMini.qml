import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// One deck in a line: its disc, name, what it is doing and Stop/Eject.
Rectangle {
    id: mini
    required property Deck deck
    // The size of the image chosen for burning; 0 when there is none.
    property real imageBytes: 0
    readonly property string stateName: deck.stateName
    readonly property bool showsPhase: deck.busy || stateName === "done" || stateName === "failed"

    implicitHeight: row.implicitHeight + 12
    radius: 9
    color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.04) : Qt.rgba(1, 1, 1, 0.04)
    border.width: 1
    border.color: Chrome.palette.isLight ? Qt.rgba(0, 0, 0, 0.10) : Qt.rgba(1, 1, 1, 0.07)

    Accessible.role: Accessible.Grouping
    Accessible.name: "Deck " + deck.letter

    RowLayout {
        id: row
        anchors { fill: parent; margins: 6; leftMargin: 8; rightMargin: 8 }
        spacing: 8
        DiscGraphic {
            small: true
            progress: mini.deck.progress
            spinning: mini.deck.busy
            Layout.preferredWidth: 40
            Layout.preferredHeight: 40
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 3
            RowLayout {
                spacing: 6
                Layout.fillWidth: true
                Text {
                    text: "DECK " + mini.deck.letter
                    color: Chrome.palette.text
                    font.pixelSize: 12
                    font.weight: Font.Bold
                }
                Text {
                    Layout.fillWidth: true
                    text: mini.deck.hasDrive ? mini.deck.driveName : "no burner"
                    color: Chrome.palette.dimText
                    font.pixelSize: 11
                    elide: Text.ElideRight
                }
                ChromeButton {
                    visible: mini.deck.busy
                    text: "Stop"
                    compact: true
                    onClicked: mini.deck.stop()
                }
                ChromeButton {
                    text: "Eject"
                    compact: true
                    enabled: mini.deck.hasDrive
                    onClicked: mini.deck.eject()
                }
            }
            Rectangle {
                objectName: "deckMiniStatus"
                Layout.fillWidth: true
                implicitHeight: status.implicitHeight + 4
                radius: 4
                color: mini.showsPhase ? "transparent"
                       : Qt.rgba(0, 0, 0, Chrome.palette.isLight ? 0.08 : 0.25)
                Text {
                    id: status
                    anchors { left: parent.left; right: parent.right; verticalCenter: parent.verticalCenter; leftMargin: mini.showsPhase ? 0 : 5; rightMargin: 5 }
                    // Reading interconnect makes the line follow each new read of the tray,
                    // which the report depends on but a call can't announce.
                    text: mini.showsPhase ? mini.deck.phase
                          : (mini.deck.interconnect, mini.deck.dataReportText(mini.imageBytes))
                    color: mini.stateName === "failed" ? Chrome.palette.stop
                           : mini.stateName === "done" ? Chrome.palette.ok
                           : Chrome.palette.text
                    font.pixelSize: 11
                    wrapMode: Text.Wrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }
    }
}
