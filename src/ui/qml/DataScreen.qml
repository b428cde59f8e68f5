import QtQuick
import QtQuick.Layouts
import Tandor
import Tandor.App

// The Data & ISO screen: burning images, making them from folders and discs,
// erasing. Its cards sit in these two rows.
ColumnLayout {
    id: screen
    required property AppModel app
    required property Panels panels

    spacing: 14

    RowLayout {
        id: firstRow
        objectName: "dataFirstRow"
        Layout.fillWidth: true
        spacing: 14
        BurnImageCard {
            objectName: "burnImageCard"
            app: screen.app
            panels: screen.panels
            Layout.fillWidth: true
            Layout.minimumWidth: 420
            Layout.fillHeight: true
        }
        DeckStrip {
            objectName: "deckStrip"
            app: screen.app
            Layout.preferredWidth: 300
            Layout.fillHeight: true
        }
    }
    RowLayout {
        id: secondRow
        objectName: "dataSecondRow"
        Layout.fillWidth: true
        spacing: 14
        FolderImageCard {
            objectName: "folderImageCard"
            app: screen.app
            panels: screen.panels
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            Layout.fillHeight: true
        }
        DiscImageCard {
            objectName: "discImageCard"
            app: screen.app
            panels: screen.panels
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            Layout.fillHeight: true
        }
        EraseCard {
            objectName: "eraseCard"
            app: screen.app
            Layout.preferredWidth: 310
            Layout.fillHeight: true
        }
    }
}
