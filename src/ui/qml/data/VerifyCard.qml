import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor
import Tandor.App
import Tandor.Kit

// An image checked against a disc or another file by SHA-256.
Card {
    id: card
    required property AppModel app
    required property Panels panels
    readonly property VerifyModel dp: app.verifyImage
    // The discs the copy card found; the menu offers them to check against.
    readonly property CopyDiscModel copyDisc: app.copyDisc

    title: "Verify an image against a disc or file"
    symbol: "checkmark.shield.fill"
    helpTopic: "verify"

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        PathWell {
            Layout.fillWidth: true
            path: card.dp.image
            placeholder: "The image (ISO / CDR)"
            symbol: "opticaldisc"
        }
        ChromeButton {
            Layout.preferredWidth: againstButton.implicitWidth
            text: "Image…"
            onClicked: card.panels.chooseImage("", path => card.dp.image = path)
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        PathWell {
            Layout.fillWidth: true
            path: card.dp.against
            placeholder: "The disc or copy to check"
            symbol: "doc.on.doc"
        }
        ChromeButton {
            id: againstButton
            objectName: "againstButton"
            text: "Against…"
            onClicked: {
                // The menu lists the discs found so far.
                card.copyDisc.lookForDiscsQuietly()
                againstMenu.popup(againstButton, 0, againstButton.height + 4)
            }
            FittedMenu {
                id: againstMenu
                MenuEntry {
                    text: "Another file…"
                    onTriggered: card.panels.chooseFile("Choose the copy to compare with the image",
                                                        path => card.dp.against = path)
                }
            }
            Instantiator {
                // A master is compared track by track when it is burned, not here.
                model: card.copyDisc.discs.filter(d => !d.master)
                delegate: MenuEntry {
                    required property var modelData
                    text: "Disc: " + modelData.label
                    onTriggered: card.dp.against = modelData.device
                }
                onObjectAdded: (index, object) => againstMenu.insertItem(index, object)
                onObjectRemoved: (index, object) => againstMenu.removeItem(object)
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        Hint {
            Layout.fillWidth: true
            text: "Compares SHA-256 checksums. Only the image's length is read from the disc."
        }
        ChromeButton {
            objectName: "verifyButton"
            text: "Verify"
            symbol: "checkmark.shield.fill"
            prominent: true
            enabled: card.dp.image !== "" && card.dp.against !== ""
            onClicked: card.dp.verify()
        }
    }
    Text {
        objectName: "lastVerifyText"
        visible: text !== ""
        Layout.fillWidth: true
        text: card.dp.result.summary !== undefined ? card.dp.result.summary : ""
        color: card.dp.result.match ? Chrome.palette.ok : Chrome.palette.stop
        font.pixelSize: 12
        font.weight: Font.Bold
        wrapMode: Text.Wrap
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
