import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// The shown decks, small, beside the image burn.
Card {
    id: card
    required property AppModel app

    title: "Decks"
    symbol: "opticaldiscdrive.fill"
    helpTopic: "burners"

    Hint {
        visible: card.app.connectedCount === 0 && !card.app.demo
        text: WindowRules.noBurnerMessage
    }
    Repeater {
        model: card.app.visibleDecks
        delegate: DeckMini {
            required property Deck modelData
            deck: modelData
            imageBytes: card.app.burnImage.imageInfo.bytes || 0
            Layout.fillWidth: true
        }
    }
}
