import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tandor.Core

ApplicationWindow {
    id: window
    required property AppModel app

    width: 960; height: 640
    minimumWidth: 640; minimumHeight: 400
    visible: true
    title: "KLVO Tandor"
    color: app.theme.baseColor

    Connections {
        target: window.app
        function onActivationRequested() { window.raise(); window.requestActivate() }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        BurnerList {
            app: window.app
            Layout.fillWidth: true
        }
        LogCard {
            app: window.app
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
