import QtQuick
import QtQuick.Layouts
import Tandor
import Tandor.App
import Tandor.Kit

// Making an ISO or DMG from a folder, optionally checked and burned after.
Card {
    id: card
    required property AppModel app
    required property Panels panels
    readonly property MakeImageModel dp: app.makeImage
    readonly property var formats: ["ISO", "DMG"]

    title: "Make an image from a folder"
    symbol: "folder.badge.plus"
    helpTopic: "make-folder"

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        PathWell {
            Layout.fillWidth: true
            path: card.dp.folder
            placeholder: "No folder chosen"
            symbol: "folder"
        }
        ChromeButton {
            text: "Choose Folder…"
            onClicked: card.panels.chooseFolder("Choose the folder to put on the disc", path => card.dp.setFolder(path))
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        Text {
            text: "Disc name"
            color: Chrome.palette.text
            font.pixelSize: 13
        }
        TDTextField {
            objectName: "volumeField"
            Layout.fillWidth: true
            Layout.minimumWidth: 60
            placeholderText: "DISC"
            Accessible.name: "Disc name"
            text: card.dp.volume
            onTextEdited: card.dp.volume = text
        }
        SegmentedControl {
            objectName: "formatControl"
            Accessible.name: "Image format"
            compact: true
            model: card.formats
            currentIndex: Math.max(0, card.formats.indexOf(card.dp.format))
            onActivated: index => card.dp.format = card.formats[index]
        }
    }
    Hint { text: card.dp.formatExplanation }
    ChromeCheckbox {
        text: "Check the image after"
        help: "Opens the new image and compares every file with the folder, byte for byte."
        checked: card.dp.checkAfter
        onToggled: card.dp.checkAfter = checked
    }
    ChromeCheckbox {
        text: "Then burn it"
        help: "Adds a burn job for each deck chosen under “Burn on”, which starts when the image is ready."
        checked: card.app.burnImage.burnAfter
        onToggled: card.app.burnImage.burnAfter = checked
    }
    ChromeButton {
        objectName: "makeImageButton"
        Layout.alignment: Qt.AlignRight
        text: "Make " + card.dp.format + "…"
        symbol: "folder.badge.plus"
        prominent: true
        enabled: card.dp.folder !== ""
        onClicked: {
            if (card.dp.folder === "") {
                card.app.log("Choose a folder first.")
                return
            }
            card.panels.saveImage(card.dp.imageName(), card.dp.format, path => card.dp.make(path), card.dp.folder)
        }
    }
}
