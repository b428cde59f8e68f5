import QtQuick
import QtQuick.Layouts
import Tandor.Core

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
    }
    RowLayout {
        id: secondRow
        objectName: "dataSecondRow"
        Layout.fillWidth: true
        spacing: 14
    }
}
