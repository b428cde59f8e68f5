import QtQuick
import QtQuick.Layouts
import Tandor.Core

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
        Layout.alignment: Qt.AlignTop
        spacing: 14
    }
    ColumnLayout {
        objectName: "verifyMountColumn"
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignTop
        spacing: 14
    }
}
