import QtQuick
import QtQuick.Layouts
import Tandor.Core

// The Audio CD screen: the burn mode and options, the disc being edited and
// one card per shown deck.
ColumnLayout {
    id: screen
    required property AppModel app
    required property Panels panels

    spacing: 14

    ModeCard {
        app: screen.app
        Layout.fillWidth: true
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 14

        DiscPanel {
            app: screen.app
            Layout.preferredWidth: 420
            Layout.fillHeight: true
        }
        GridLayout {
            id: decks
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            columns: 2
            columnSpacing: 14
            rowSpacing: 14
            Repeater {
                model: screen.app.visibleDecks
                delegate: DeckCard {
                    required property Deck modelData
                    app: screen.app
                    deck: modelData
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.alignment: Qt.AlignTop
                }
            }
        }
    }
}
