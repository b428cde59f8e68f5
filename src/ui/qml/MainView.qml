import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.App

// The page: the header, the screen chosen by the model's tab, the bottom row.
ColumnLayout {
    id: page
    required property AppModel app
    required property Panels panels

    spacing: 16

    HeaderView {
        id: header
        objectName: "header"
        app: page.app
        Layout.fillWidth: true
    }
    Loader {
        id: screen
        objectName: "screen"
        Layout.fillWidth: true
        Layout.preferredHeight: item ? item.implicitHeight : 0
        sourceComponent: [audioScreen, dataScreen, toolsScreen][page.app.tab] || audioScreen
    }
    BottomRow {
        objectName: "bottomRow"
        app: page.app
        panels: page.panels
        queueCard: Component { QueueCard { app: page.app } }
        Layout.fillWidth: true
    }

    Component {
        id: audioScreen
        AudioScreen { app: page.app; panels: page.panels }
    }
    Component {
        id: dataScreen
        DataScreen { app: page.app; panels: page.panels }
    }
    Component {
        id: toolsScreen
        ToolsScreen { app: page.app; panels: page.panels }
    }
}
