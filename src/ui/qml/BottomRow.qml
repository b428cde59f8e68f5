import QtQuick
import QtQuick.Layouts
import Tandor.App

// Under every screen: the burners, the job queue and the burn log.
RowLayout {
    id: row
    required property AppModel app
    required property Panels panels
    // The queue card, when there is one; it sits between the other two.
    property Component queueCard: null

    spacing: 14

    BurnersCard {
        app: row.app
        Layout.preferredWidth: 340
        Layout.fillHeight: true
        Layout.alignment: Qt.AlignTop
    }
    Loader {
        active: row.queueCard !== null
        visible: active
        sourceComponent: row.queueCard
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        Layout.fillHeight: true
    }
    LogCard {
        app: row.app
        panels: row.panels
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        Layout.preferredHeight: 260
        Layout.fillHeight: true
    }
}
