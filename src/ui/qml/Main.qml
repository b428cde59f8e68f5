import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.Core

ApplicationWindow {
    id: window
    required property AppModel app

    width: 1180; height: 800
    minimumWidth: 960; minimumHeight: 640
    visible: true
    title: "KLVO Tandor"
    color: app.theme.baseColor

    // Controls take their text colours from the theme, light or dark.
    readonly property color base: app.theme.baseColor
    readonly property color ink: base.hslLightness > 0.5 ? "#1b1c20" : "#e8eaee"
    readonly property bool light: base.hslLightness > 0.5
    palette.window: base
    palette.windowText: ink
    palette.base: light ? Qt.darker(base, 1.04) : Qt.lighter(base, 1.6)
    palette.alternateBase: light ? Qt.darker(base, 1.08) : Qt.lighter(base, 1.9)
    palette.text: ink
    palette.placeholderText: Qt.rgba(ink.r, ink.g, ink.b, 0.5)
    palette.button: light ? Qt.darker(base, 1.08) : Qt.lighter(base, 2.2)
    palette.buttonText: ink
    palette.highlight: app.theme.accentColor
    palette.highlightedText: base
    palette.mid: Qt.rgba(ink.r, ink.g, ink.b, 0.3)
    palette.light: Qt.rgba(ink.r, ink.g, ink.b, 0.15)
    palette.dark: Qt.rgba(ink.r, ink.g, ink.b, 0.45)

    Connections {
        target: window.app
        function onActivationRequested() { window.raise(); window.requestActivate() }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        Panel {
            app: window.app
            Layout.fillWidth: true
            implicitHeight: bar.implicitHeight + 16
            RowLayout {
                id: bar
                anchors.fill: parent
                anchors.margins: 8
                spacing: 12
                ComboBox {
                    model: ["Mirror", "Independent", "Copies"]
                    currentIndex: model.indexOf(window.app.modeName)
                    enabled: !window.app.anyBusy
                    Accessible.name: "Burn mode"
                    onActivated: index => {
                        window.app.mode = index
                        window.app.resetQueue()
                    }
                }
                SpinBox {
                    visible: window.app.modeName === "Copies"
                    from: 1; to: 500
                    value: window.app.copies
                    onValueModified: window.app.copies = value
                    Accessible.name: "Copies to make"
                }
                Label {
                    visible: window.app.modeName === "Copies"
                    color: window.app.theme.accentColor
                    text: window.app.copiesDone + " DONE · "
                          + Math.max(0, window.app.copiesStarted - window.app.copiesDone) + " BURNING · "
                          + Math.max(0, window.app.copies - window.app.copiesStarted) + " WAITING"
                }
                CheckBox { text: "Test burn"; checked: window.app.test; onToggled: window.app.test = checked; Accessible.name: text }
                CheckBox { text: "Verify"; checked: window.app.verify; onToggled: window.app.verify = checked; Accessible.name: text }
                CheckBox { text: "Match loudness"; checked: window.app.matchLoudness; onToggled: window.app.matchLoudness = checked; Accessible.name: text }
                CheckBox { text: "Demo mode"; checked: window.app.demo; onToggled: window.app.demo = checked; Accessible.name: text }
                Item { Layout.fillWidth: true }
                Button {
                    text: "Refresh Drives"
                    Accessible.name: text
                    Accessible.onPressAction: clicked()
                    onClicked: window.app.refreshDrives()
                }
                Button {
                    text: "Burn all"
                    highlighted: true
                    Accessible.name: text
                    Accessible.onPressAction: clicked()
                    onClicked: window.app.burnAll()
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12

            DiscPanel {
                app: window.app
                Layout.preferredWidth: 400
                Layout.fillHeight: true
            }
            ScrollView {
                id: decks
                Layout.fillWidth: true
                Layout.fillHeight: true
                contentWidth: availableWidth
                GridLayout {
                    width: decks.availableWidth
                    columns: 2
                    columnSpacing: 12
                    rowSpacing: 12
                    Repeater {
                        model: window.app.visibleDecks
                        delegate: DeckCard {
                            required property Deck modelData
                            app: window.app
                            deck: modelData
                            Layout.fillWidth: true
                            Layout.preferredWidth: (decks.availableWidth - 12) / 2
                        }
                    }
                }
            }
        }

        LogCard {
            app: window.app
            Layout.fillWidth: true
            Layout.preferredHeight: 190
        }
    }
}
