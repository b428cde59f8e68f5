import QtQuick
import QtQuick.Layouts
import Tandor.App
import Tandor.Kit

// Erasing a rewritable disc on one deck.
Card {
    id: card
    required property AppModel app
    readonly property EraseModel dp: app.eraseDisc

    title: "Erase a rewritable disc"
    symbol: "eraser.fill"
    helpTopic: "erase"

    DeckChips {
        objectName: "eraseChips"
        Accessible.name: "Deck to erase"
        count: Math.max(1, card.app.visibleCount)
        multi: false
        current: card.dp.deck
        onEdited: card.dp.deck = current
    }
    SegmentedControl {
        Accessible.name: "Erase kind"
        model: ["Quick", "Complete"]
        currentIndex: card.dp.complete ? 1 : 0
        onActivated: index => card.dp.complete = index === 1
    }
    Hint {
        text: card.dp.complete
              ? "Complete: overwrites the whole disc. Slow (up to an hour for a DVD)."
              : "Quick: clears the table of contents in a minute or two. Fine for reusing a disc."
    }
    Hint {
        text: "Only CD-RW, DVD-RW, DVD+RW and BD-RE can be erased. Everything on the disc is lost."
    }
    ChromeButton {
        Layout.alignment: Qt.AlignRight
        text: "Erase Disc"
        symbol: "eraser.fill"
        prominent: true
        onClicked: card.dp.erase()
    }
}
