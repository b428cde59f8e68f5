import QtQuick
import QtQuick.Layouts
import Tandor
import Tandor.App
import Tandor.Kit

// Burning a chosen disc image on the decks picked under "Burn on".
Card {
    id: card
    required property AppModel app
    required property Panels panels
    readonly property BurnImageModel dp: app.burnImage
    readonly property var info: dp.imageInfo
    readonly property bool inspected: info.formatName !== undefined
    readonly property bool burnable: inspected && dp.problem === ""
    readonly property bool sha256Off: inspected && !info.sha256Checkable

    title: "Burn a disc image"
    symbol: "flame.fill"
    helpTopic: "burn-image"

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        PathWell {
            objectName: "imageWell"
            Layout.fillWidth: true
            path: card.dp.image
            placeholder: "No image chosen — ISO, DMG or CDR"
            symbol: "opticaldisc"
        }
        ChromeButton {
            objectName: "chooseImageButton"
            text: "Choose Image…"
            onClicked: card.panels.chooseImage("", path => card.dp.setImage(path))
        }
    }
    RowLayout {
        objectName: "imageFacts"
        visible: card.inspected
        Layout.fillWidth: true
        spacing: 8
        // Read as one line: the chip and the two texts say little apart.
        Accessible.role: Accessible.StaticText
        Accessible.name: card.inspected ? card.info.formatName + ", " + card.info.bytesText + ". " + card.info.fitsOn : ""
        LCDChip { text: card.inspected ? card.info.formatName : "" }
        // A size or a fit of something that can't be burned would only mislead.
        Text {
            objectName: "imageSize"
            visible: card.burnable
            text: card.inspected ? card.info.bytesText : ""
            color: Chrome.palette.text
            font.pixelSize: 13
        }
        Text {
            objectName: "fitsText"
            Layout.fillWidth: true
            opacity: card.burnable ? 1 : 0
            horizontalAlignment: Text.AlignRight
            text: card.inspected ? card.info.fitsOn : ""
            color: Chrome.palette.dimText
            font.pixelSize: 12
            elide: Text.ElideLeft
        }
    }
    // Said before the burn: such a file is most likely not a disc image at all.
    RowLayout {
        visible: card.inspected && card.info.warning !== ""
        Layout.fillWidth: true
        spacing: 6
        Icon {
            symbol: "exclamationmark.triangle.fill"
            size: 14
            color: Chrome.palette.waiting
            Layout.alignment: Qt.AlignTop
        }
        Text {
            objectName: "imageWarning"
            Layout.fillWidth: true
            text: card.inspected ? card.info.warning : ""
            color: Chrome.palette.waiting
            font.pixelSize: 12
            font.bold: true
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    // Why it can't be burned, before anyone tries.
    RowLayout {
        visible: card.dp.problem !== ""
        Layout.fillWidth: true
        spacing: 6
        Icon {
            symbol: "xmark.octagon.fill"
            size: 14
            color: Chrome.palette.stop
            Layout.alignment: Qt.AlignTop
        }
        Text {
            objectName: "imageProblem"
            Layout.fillWidth: true
            text: card.dp.problem
            color: Chrome.palette.stop
            font.pixelSize: 12
            font.bold: true
            wrapMode: Text.Wrap
        }
    }
    RowLayout {
        spacing: 10
        Text {
            text: "Burn on"
            color: Chrome.palette.text
            font.pixelSize: 13
        }
        DeckChips {
            objectName: "burnOnChips"
            Accessible.name: "Burn on"
            count: Math.max(1, card.app.visibleCount)
            multi: true
            selection: card.dp.targets
            // Only decks with a burner can burn (any deck in demo mode).
            usable: card.app.decks.map(d => card.app.demo || d.hasDrive)
            onEdited: card.dp.targets = selection
        }
    }
    Flow {
        Layout.fillWidth: true
        spacing: 14
        ChromeCheckbox {
            objectName: "testBurnBox"
            text: "Test burn"
            help: "Laser at low power: every step runs, nothing is written. Not every burner can do this, and DVD+R can't."
            checked: card.dp.test
            onToggled: card.dp.test = checked
        }
        ChromeCheckbox {
            objectName: "verifyBox"
            text: "Verify (read back)"
            help: "The burner reads the disc back and compares every byte with the image."
            checked: card.dp.verify
            onToggled: card.dp.verify = checked
        }
        ChromeCheckbox {
            objectName: "sha256Box"
            text: "SHA-256 check"
            help: "After burning, Tandor reads the disc and compares its SHA-256 checksum with the image's (ISO and CDR images)."
            enabled: !card.sha256Off
            // The choice is kept for the next image; this one can't be checked.
            checked: card.dp.checksumCheck && !card.sha256Off
            onToggled: card.dp.checksumCheck = checked
        }
    }
    Hint {
        objectName: "sha256Note"
        Layout.fillWidth: true
        visible: card.sha256Off
        text: card.sha256Off ? card.info.sha256Note : ""
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        Hint {
            Layout.fillWidth: true
            text: "Each deck burns at its own speed (set it on the Audio CD screen deck card). Two decks burn at the same time."
        }
        ChromeButton {
            objectName: "burnImageButton"
            Layout.alignment: Qt.AlignBottom
            text: card.dp.test ? "Test Burn" : "Burn Image"
            symbol: "flame.fill"
            prominent: true
            enabled: card.burnable
            onClicked: card.dp.burn()
        }
    }
}
