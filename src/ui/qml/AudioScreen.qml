import QtQuick
import QtQuick.Layouts
import Tandor.App

// The Audio CD screen, top to bottom: the burn settings, the Copies card (in
// Copies mode), one card per shown deck, and the disc being edited.
ColumnLayout {
    id: screen
    required property AppModel app
    required property Panels panels

    spacing: 14

    AudioSettings {
        objectName: "audioSettings"
        app: screen.app
        Layout.fillWidth: true
    }
    CopiesCard {
        objectName: "copiesCard"
        visible: screen.app.modeName === "Copies"
        app: screen.app
        Layout.fillWidth: true
    }
    GridLayout {
        id: deckGrid
        objectName: "deckGrid"
        readonly property int count: screen.app.visibleCount
        Layout.fillWidth: true
        columns: count < 3 ? 2 : 3
        columnSpacing: 14
        rowSpacing: 14
        Repeater {
            model: screen.app.visibleDecks
            delegate: DeckCard {
                required property Deck modelData
                objectName: "deckCard" + modelData.letter
                app: screen.app
                deck: modelData
                panels: screen.panels
                large: deckGrid.count === 2
                Layout.fillWidth: true
                Layout.fillHeight: true
                // Equal columns, whatever each card holds.
                Layout.preferredWidth: 1
                Layout.alignment: Qt.AlignTop
            }
        }
    }
    DiscEditor {
        objectName: "discEditor"
        app: screen.app
        panels: screen.panels
        Layout.fillWidth: true
    }
}
