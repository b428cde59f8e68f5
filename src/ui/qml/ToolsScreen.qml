import QtQuick
import QtQuick.Layouts
import Tandor
import Tandor.App

// The Checksums & Mount screen: the checksum card beside a column with the
// verify and mount cards.
RowLayout {
    id: screen
    required property AppModel app
    required property Panels panels

    spacing: 14

    ColumnLayout {
        objectName: "checksumColumn"
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        Layout.alignment: Qt.AlignTop
        spacing: 14
        ChecksumCard {
            objectName: "checksumCard"
            app: screen.app
            panels: screen.panels
            Layout.fillWidth: true
        }
    }
    ColumnLayout {
        objectName: "verifyMountColumn"
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        Layout.alignment: Qt.AlignTop
        spacing: 14
        VerifyCard {
            objectName: "verifyCard"
            app: screen.app
            panels: screen.panels
            Layout.fillWidth: true
        }
        MountCard {
            objectName: "mountCard"
            app: screen.app
            panels: screen.panels
            Layout.fillWidth: true
        }
    }
}
