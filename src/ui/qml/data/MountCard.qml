import QtQuick
import QtQuick.Layouts
import Tandor
import Tandor.App
import Tandor.Kit

// Images mounted read-only, to look inside.
Card {
    id: card
    required property AppModel app
    required property Panels panels
    readonly property MountModel dp: app.mounts

    title: "Mount an image to look inside"
    symbol: "externaldrive.fill.badge.plus"
    helpTopic: "mount"

    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        Hint {
            Layout.fillWidth: true
            text: "Opens an ISO, DMG or CDR read-only in the file manager, like a disc. Nothing in it can be changed."
        }
        ChromeButton {
            objectName: "mountImageButton"
            text: "Mount Image…"
            symbol: "externaldrive.fill.badge.plus"
            onClicked: card.panels.chooseImage("Choose an image to look inside", path => card.dp.mount(path, true))
        }
    }
    Repeater {
        model: card.dp.mounted
        delegate: RowLayout {
            id: line
            required property var modelData
            required property int index
            Layout.fillWidth: true
            spacing: 8
            Icon {
                symbol: "externaldrive.fill"
                size: 16
                color: Chrome.palette.text
            }
            Text {
                Layout.fillWidth: true
                text: line.modelData.name
                color: Chrome.palette.text
                font.pixelSize: 13
                elide: Text.ElideMiddle
            }
            // Every line has the same two buttons; the image tells them apart.
            ChromeButton {
                objectName: "showImageButton"
                text: "Show"
                compact: true
                help: "Shows the mounted image in the file manager again."
                Accessible.name: "Show “" + line.modelData.name + "”"
                onClicked: card.dp.show(line.index)
            }
            ChromeButton {
                objectName: "ejectImageButton"
                text: "Eject"
                compact: true
                Accessible.name: "Eject “" + line.modelData.name + "”"
                onClicked: card.dp.unmount(line.index)
            }
        }
    }
}
