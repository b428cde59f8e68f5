import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tandor.App
import Tandor.Help
import Tandor.Kit

// The top of the page: title and status, theme and help on the first line;
// screen selector, demo mode and Refresh Drives on the second.
ColumnLayout {
    id: header
    required property AppModel app

    readonly property int runningJobs: (app.queue && app.queue.runningCount) || 0
    readonly property int waitingJobs: (app.queue && app.queue.waitingCount) || 0
    readonly property string statusText: WindowRules.statusText(app.connectedCount, runningJobs, waitingJobs, app.demo)

    spacing: 12

    RowLayout {
        Layout.fillWidth: true
        spacing: 14

        Logo {
            Layout.preferredWidth: 52
            Layout.preferredHeight: 52
        }
        ColumnLayout {
            spacing: 2
            Layout.alignment: Qt.AlignVCenter
            TitleText {
                text: "KLVO TANDOR"
                pixelSize: 30
            }
            RowLayout {
                spacing: 4
                Text {
                    text: KLVOAbout.version + " · CD, DVD & ISO · by"
                    color: Chrome.palette.dimText
                    font.pixelSize: 12
                    font.letterSpacing: 0.6
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                MakerLink {}
            }
        }
        Item { Layout.fillWidth: true }

        ChromeWell {
            id: statusWell
            Layout.preferredWidth: 420
            padding: 6
            // The readout itself is an LCD strip, in every theme.
            Rectangle {
                Layout.fillWidth: true
                implicitHeight: 34
                radius: 6
                color: Chrome.palette.lcdBack
                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 10
                    anchors.rightMargin: 10
                    spacing: 10
                    Lamp {
                        on: header.app.connectedCount > 0 || header.app.demo
                        color: header.runningJobs > 0 || header.app.anyBusy ? Chrome.palette.accent
                               : header.app.connectedCount > 0 ? Chrome.palette.ok
                               : header.app.demo ? Chrome.palette.waiting : Chrome.palette.stop
                        Layout.alignment: Qt.AlignVCenter
                    }
                    Text {
                        id: statusLine
                        objectName: "statusText"
                        text: header.statusText
                        color: Chrome.palette.lcdText
                        font.family: Chrome.monoFamily
                        font.pixelSize: 14
                        font.letterSpacing: 1
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }
        }

        IconButton {
            id: themeButton
            objectName: "themeButton"
            symbol: "paintpalette"
            help: "Theme — 21 chrome and anodized finishes (also in the Theme menu)"
            onClicked: themeMenu.popup(themeButton, 0, themeButton.height + 4)
            ThemeMenu {
                id: themeMenu
                app: header.app
            }
        }
        IconButton {
            objectName: "helpButton"
            symbol: "questionmark.circle"
            help: "KLVO Tandor Help (F1)"
            onClicked: Chrome.showHelp("")
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 14

        SegmentedControl {
            objectName: "screenSelector"
            model: ["Audio CD", "Data & ISO", "Checksums & Mount"]
            currentIndex: header.app.tab
            onActivated: index => header.app.tab = index
            Accessible.name: "Screen"
        }
        Item { Layout.fillWidth: true }
        ChromeCheckbox {
            objectName: "demoCheckbox"
            text: "Demo mode"
            help: "Runs burns and erases on screen without touching a disc — try the app before the burners are connected."
            checked: header.app.demo
            enabled: !header.app.anyBusy
            onToggled: header.app.demo = checked
        }
        ChromeButton {
            objectName: "refreshButton"
            text: "Refresh Drives"
            symbol: "arrow.clockwise"
            help: "Looks for burners again and re-reads every tray (Ctrl+R)."
            onClicked: header.app.refreshDrives()
        }
    }
}
