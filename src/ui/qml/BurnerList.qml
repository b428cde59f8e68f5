import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.Core

// One line per visible deck: its letter, burner, tray and what it can write.
Rectangle {
    id: list
    required property AppModel app
    readonly property color accent: app.theme.accentColor
    readonly property color base: app.theme.baseColor
    readonly property color ink: base.hslLightness > 0.5 ? "#1b1c20" : "#e8eaee"

    implicitHeight: column.implicitHeight + 24
    radius: 10
    color: Qt.rgba(ink.r, ink.g, ink.b, 0.06)
    border.color: Qt.rgba(ink.r, ink.g, ink.b, 0.18)

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            Label {
                text: "Burners"
                font.bold: true
                font.pixelSize: 15
                color: list.ink
                Layout.fillWidth: true
                Accessible.role: Accessible.Heading
            }
            Button {
                text: "Refresh Drives"
                Accessible.name: text
                Accessible.onPressAction: clicked()
                onClicked: list.app.refreshDrives()
            }
        }

        Repeater {
            model: list.app.visibleDecks
            delegate: RowLayout {
                id: row
                required property Deck modelData
                Layout.fillWidth: true
                spacing: 12
                Accessible.role: Accessible.ListItem
                Accessible.name: "Deck " + modelData.letter + ", " + modelData.driveName + ", " + modelData.mediaText

                Label {
                    text: "Deck " + row.modelData.letter
                    font.bold: true
                    color: list.accent
                    Layout.preferredWidth: 64
                    Layout.alignment: Qt.AlignTop
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label {
                        text: row.modelData.driveName
                              + (row.modelData.interconnect ? " · " + row.modelData.interconnect : "")
                        color: list.ink
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                    Label {
                        text: row.modelData.mediaText
                        visible: row.modelData.hasDrive
                        color: row.modelData.blankLoaded ? list.accent : list.ink
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                    Label {
                        visible: row.modelData.hasDrive
                        text: row.modelData.capsSummary
                        color: list.ink
                        opacity: 0.7
                        font.pixelSize: 11
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                }
            }
        }
    }
}
