import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor
import Tandor.App
import Tandor.Kit

// Copying an unprotected data CD or DVD into an .iso.
Card {
    id: card
    required property AppModel app
    required property Panels panels
    readonly property CopyDiscModel dp: app.copyDisc
    readonly property var discs: dp.discs
    readonly property var picked: {
        for (const d of discs)
            if (d.bsdName === dp.discBSD)
                return d
        return null
    }

    title: "Make an ISO from a CD or DVD"
    symbol: "opticaldisc"
    helpTopic: "make-disc"

    // The first look is quiet: nothing asked for it yet.
    property bool looked: false
    onVisibleChanged: lookOnce()
    Component.onCompleted: lookOnce()
    function lookOnce() {
        if (looked || !visible)
            return
        looked = true
        dp.lookForDiscsQuietly()
    }

    Hint {
        text: "Copies a data CD or DVD sector by sector into an .iso. Only discs that are NOT copy-protected: protected discs are refused, and nothing is ever decrypted or worked around."
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        ChromeButton {
            id: discPicker
            objectName: "discPicker"
            visible: card.discs.length > 0
            Layout.fillWidth: true
            Layout.minimumWidth: 60
            text: card.picked ? card.picked.label : "Choose a disc"
            symbol: "opticaldisc"
            help: "The disc to copy"
            onClicked: discMenu.popup(discPicker, 0, discPicker.height + 4)
            FittedMenu {
                id: discMenu
            }
            Instantiator {
                model: card.discs
                delegate: MenuEntry {
                    required property var modelData
                    text: modelData.label
                    checkable: true
                    checked: modelData.bsdName === card.dp.discBSD
                    onTriggered: {
                        card.dp.discBSD = modelData.bsdName
                        checked = Qt.binding(() => modelData.bsdName === card.dp.discBSD)
                    }
                }
                onObjectAdded: (index, object) => discMenu.insertItem(index, object)
                onObjectRemoved: (index, object) => discMenu.removeItem(object)
            }
        }
        Text {
            visible: card.discs.length === 0
            Layout.fillWidth: true
            text: "No disc found"
            color: Chrome.palette.dimText
            font.pixelSize: 12
            font.italic: true
        }
        ChromeButton {
            objectName: "lookForDiscsButton"
            text: "Look for Discs"
            onClicked: card.dp.refreshDiscs()
        }
    }
    readonly property bool master: picked !== null && picked.master
    // A master read goes to the cache unless the user keeps it somewhere.
    property bool keepImage: false
    Hint {
        visible: card.master
        text: "An audio CD is copied with everything on it: every track bit for bit, pre-gaps and indexes, CD-Text, ISRCs and the catalogue number. Each sector is read until two reads agree."
    }
    // A stack of copies takes the place of the burns on the “Burn on” decks.
    readonly property bool stacked: master && dp.stack
    ChromeCheckbox {
        objectName: "copyThenBurnBox"
        text: "Then burn it"
        visible: !card.stacked
        help: card.master ? "Burns the copy on each deck chosen under “Burn on” and compares each burned disc with the master, track by track."
                          : "Burns the new ISO on each deck chosen under “Burn on” (not the deck it was read from)."
        checked: card.app.burnImage.burnAfter
        onToggled: card.app.burnImage.burnAfter = checked
    }
    ChromeCheckbox {
        objectName: "copiesStackBox"
        visible: card.master
        text: "As a stack of copies"
        help: "Once the CD is read, Copies mode on the Audio CD screen burns it instead of the audio project: "
              + card.app.copies + (card.app.copies === 1 ? " copy" : " copies")
              + " (the Copies card sets how many), each deck taking the next one when a blank goes in, each compared with the master when Verify is on. The “Burn on” decks aren't used."
        checked: card.dp.stack
        onToggled: card.dp.stack = checked
    }
    ChromeCheckbox {
        objectName: "keepImageCheckbox"
        visible: card.master
        text: "Keep the image"
        help: "Saves the copy as a BIN/CUE pair where you choose, instead of only in the cache."
        checked: card.keepImage
        onToggled: card.keepImage = checked
    }
    Text {
        objectName: "unreadableText"
        visible: card.dp.unreadable !== ""
        Layout.fillWidth: true
        text: card.dp.unreadable
        color: Chrome.palette.stop
        font.pixelSize: 12
        wrapMode: Text.Wrap
    }
    RowLayout {
        Layout.alignment: Qt.AlignRight
        spacing: 8
        ChromeButton {
            objectName: "copyAnywayButton"
            visible: card.dp.unreadable !== ""
            text: "Copy Anyway"
            help: "Burns the copy with silence where the master couldn't be read."
            onClicked: card.dp.copyAnyway()
        }
        ChromeButton {
            objectName: "copyMasterButton"
            visible: card.master
            text: card.keepImage ? "Copy CD…" : "Copy CD"
            symbol: "opticaldisc"
            prominent: true
            onClicked: {
                if (card.keepImage)
                    card.panels.saveImage("Audio CD", "CUE", path => card.dp.copy(path))
                else
                    card.dp.copy("")
            }
        }
        ChromeButton {
            objectName: "makeIsoFromDiscButton"
            visible: !card.master
            text: "Make ISO…"
            symbol: "opticaldisc"
            prominent: true
            enabled: card.picked !== null
            onClicked: card.panels.saveImage(card.dp.imageName(), "ISO", path => card.dp.copy(path))
        }
    }
}
