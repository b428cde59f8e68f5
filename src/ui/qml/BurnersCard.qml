import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// Which burner each shown deck has, and how it is connected.
Card {
    id: card
    required property AppModel app

    title: "Burners (" + app.connectedCount + " connected)"
    symbol: "cable.connector"
    helpTopic: "burners"

    Hint {
        visible: card.app.connectedCount === 0
        text: WindowRules.noBurnerMessage
        Layout.fillWidth: true
    }
    Repeater {
        model: card.app.visibleDecks
        delegate: RowLayout {
            required property Deck modelData
            Layout.fillWidth: true
            spacing: 8
            Icon {
                symbol: modelData.hasDrive ? "checkmark.circle.fill" : "circle.dashed"
                color: modelData.hasDrive ? Chrome.palette.ok : Chrome.palette.dimText
                size: 16
                Layout.alignment: Qt.AlignTop
            }
            ColumnLayout {
                spacing: 1
                Layout.fillWidth: true
                Text {
                    text: "Deck " + modelData.letter + "  "
                          + (modelData.hasDrive
                             ? modelData.driveName + (modelData.interconnect ? " · " + modelData.interconnect : "")
                             : "plug in a burner")
                    color: Chrome.palette.text
                    font.pixelSize: 12
                    font.bold: true
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Text {
                    visible: modelData.hasDrive
                    text: modelData.mediaText
                    color: Chrome.palette.dimText
                    font.pixelSize: 11
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }
        }
    }
    Hint {
        text: "Two or more burners: use a powered USB hub (60 W or more) or burners with their own power. If the desktop offers to open a blank disc in another app, ignore it."
        Layout.fillWidth: true
    }
}
