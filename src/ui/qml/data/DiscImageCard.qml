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
    ChromeCheckbox {
        text: "Then burn it"
        help: "Burns the new ISO on each deck chosen under “Burn on” (not the deck it was read from)."
        checked: card.app.burnImage.burnAfter
        onToggled: card.app.burnImage.burnAfter = checked
    }
    ChromeButton {
        objectName: "makeIsoFromDiscButton"
        Layout.alignment: Qt.AlignRight
        text: "Make ISO…"
        symbol: "opticaldisc"
        prominent: true
        enabled: card.picked !== null
        onClicked: card.panels.saveImage(card.dp.imageName(), "ISO", path => card.dp.copy(path))
    }
}
