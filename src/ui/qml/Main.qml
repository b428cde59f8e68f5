import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Tandor
import Tandor.App
import Tandor.Kit

// The one window: its menus, its frame, and the zoomed page.
ApplicationWindow {
    id: window
    required property AppModel app
    readonly property size startSize: WindowRules.defaultSize(Screen.desktopAvailableWidth,
                                                              Screen.desktopAvailableHeight)
    // The zoomed page, for tests and the screenshot.
    readonly property alias zoomHost: host

    title: "KLVO Tandor"
    width: startSize.width
    height: startSize.height
    minimumWidth: WindowRules.minSize.width
    minimumHeight: WindowRules.minSize.height
    visible: true
    color: Chrome.palette.windowBottom

    // Before any control: assistive technology keeps what it first learns of one.
    AccessibleStates {}

    // Every control of the kit draws from the current theme.
    Binding {
        target: Chrome
        property: "theme"
        value: window.app.theme
    }

    palette.window: Chrome.palette.panelTop
    palette.windowText: Chrome.palette.text
    palette.base: Chrome.palette.panelTop
    palette.text: Chrome.palette.text
    palette.button: Chrome.palette.panelTop
    palette.buttonText: Chrome.palette.text
    palette.highlight: Chrome.palette.accent
    palette.highlightedText: Chrome.palette.accentText
    palette.light: Chrome.palette.panelTop
    palette.midlight: Chrome.palette.accent
    palette.mid: Chrome.palette.chromeMid
    palette.dark: Chrome.palette.chromeDark
    palette.shadow: Chrome.palette.chromeDark
    palette.toolTipBase: Chrome.palette.panelTop
    palette.toolTipText: Chrome.palette.text
    palette.placeholderText: Chrome.palette.dimText

    background: Rectangle {
        gradient: WindowGradient {}
    }

    WindowFitter {
        id: fitter
        window: window
        app: window.app
    }
    // A bigger zoom grows the window, as far as the screen allows, so the
    // page shows as much as before; the page is measured once it has laid
    // out, at the narrowest width it takes.
    Connections {
        target: window.app.zoom
        function onValueChanged() { growTimer.restart() }
    }
    Timer {
        id: growTimer
        interval: 50
        onTriggered: fitter.showWhole(Qt.size(Math.ceil(WindowRules.designWidth(0, host.zoom) * host.zoom),
                                              host.contentHeight + (window.menuBar ? window.menuBar.height : 0)),
                                      host.zoom)
    }

    // Work that ends while the user looks elsewhere is told on the desktop.
    Binding {
        target: window.app
        property: "windowActive"
        value: window.active
    }

    // What a minimized window goes back to when a later copy brings it forward.
    // Taken from the signal: the property may already say what came after.
    property int shownAs: Window.Windowed
    onVisibilityChanged: shown => {
        if (shown !== Window.Minimized && shown !== Window.Hidden)
            shownAs = shown
    }
    Connections {
        target: window.app
        function onActivationRequested() {
            if (window.visibility === Window.Minimized || window.visibility === Window.Hidden)
                window.visibility = window.shownAs
            window.raise()
            window.requestActivate()
        }
    }

    Panels {
        id: panels
        objectName: "panels"
        app: window.app
    }

    // Screens -------------------------------------------------------------

    function showTab(tab) { app.tab = tab }
    // A mode picked from the menu: never while a deck is at work.
    function changeMode(mode) {
        if (app.anyBusy)
            return
        app.tab = 0
        app.mode = mode
        app.resetQueue()
    }
    function openImage() {
        panels.chooseImage("", path => {
            app.burnImage.setImage(path)
            app.tab = 1
        })
    }
    function burnImage() {
        app.tab = 1
        if (app.burnImage.hasImage) {
            app.burnImage.burn()
            return
        }
        panels.chooseImage("", path => {
            app.burnImage.setImage(path)
            if (app.burnImage.hasImage)
                app.burnImage.burn()
        })
    }

    // Help ----------------------------------------------------------------

    // The help and about windows are made the first time they are asked for
    // and kept (only hidden) when closed.
    property var helpWindow: null
    property var aboutWindow: null
    function makeWindow(type) {
        try {
            return Qt.createQmlObject("import Tandor.Help; " + type + " {}", window, type)
        } catch (error) {
            console.warn("No " + type + ": " + error.message)
            return null
        }
    }
    function showHelp(topic) {
        if (!helpWindow)
            helpWindow = makeWindow("HelpWindow")
        if (helpWindow)
            helpWindow.show(topic)
    }
    function showAbout() {
        if (!aboutWindow)
            aboutWindow = makeWindow("AboutWindow")
        if (aboutWindow)
            aboutWindow.show()
    }
    Connections {
        target: Chrome
        function onHelpRequested(topic) { window.showHelp(topic) }
    }
    Shortcut {
        sequences: ["F1", "Ctrl+?"]
        context: Qt.ApplicationShortcut
        onActivated: Chrome.showHelp("")
    }
    Shortcut {
        sequences: ["Ctrl+="]
        onActivated: window.app.zoom.zoomIn()
    }

    // Menus ---------------------------------------------------------------

    menuBar: MenuBar {
        id: menus
        Accessible.name: "Menu bar"

        // Qt 6.4's bar stays in its "a menu is open" mode when a menu closes
        // while the pointer rests on its title (Esc, or an entry chosen with
        // the keyboard), so the next click on that title opens nothing. After
        // such a close the bar is put back as a click on the title would.
        property MenuBarItem pressedTitle: null
        delegate: MenuBarItem {
            id: title
            onPressedChanged: {
                if (pressed)
                    menus.pressedTitle = title
                else
                    Qt.callLater(() => menus.pressedTitle = null)
            }
        }
        function titleOf(menu) {
            for (let i = 0; i < count; ++i) {
                if (itemAt(i).menu === menu)
                    return itemAt(i)
            }
            return null
        }
        function settle(menu) {
            const title = titleOf(menu)
            if (!title || title === pressedTitle || !title.hovered)
                return
            Qt.callLater(() => {
                if (!menu.visible && title.highlighted)
                    title.triggered()
            })
        }
        Component.onCompleted: {
            for (let i = 0; i < count; ++i) {
                const menu = menuAt(i)
                menu.aboutToHide.connect(() => settle(menu))
            }
        }

        FittedMenu {
            title: "KLVO Tandor"
            MenuEntry {
                text: "About KLVO Tandor"
                onTriggered: window.showAbout()
            }
            MenuEntry {
                text: "KLVO on the Web"
                onTriggered: Qt.openUrlExternally("https://klvo.app")
            }
            MenuSeparator {}
            MenuEntry {
                objectName: "notifyEntry"
                text: "Notify When Work Ends"
                checkable: true
                checked: window.app.notifications
                onTriggered: {
                    window.app.notifications = !window.app.notifications
                    // A click toggles the check; the model decides it.
                    checked = Qt.binding(() => window.app.notifications)
                }
            }
            MenuSeparator {}
            MenuEntry {
                text: "Quit KLVO Tandor"
                keys: "Ctrl+Q"
                action: Action { shortcut: StandardKey.Quit; onTriggered: Qt.quit() }
            }
        }
        FittedMenu {
            title: "File"
            MenuEntry {
                keys: "Ctrl+O"
                action: Action { text: "Open Image to Burn…"; shortcut: "Ctrl+O"; onTriggered: window.openImage() }
            }
            MenuEntry {
                keys: "Shift+Ctrl+O"
                action: Action {
                    text: "Mount Image…"
                    shortcut: "Shift+Ctrl+O"
                    onTriggered: panels.chooseImage("Choose an image to look inside",
                                                    path => window.app.mounts.mount(path, true))
                }
            }
            MenuSeparator {}
            MenuEntry {
                keys: "Alt+Ctrl+I"
                action: Action {
                    text: "Make ISO from Folder…"
                    shortcut: "Alt+Ctrl+I"
                    onTriggered: {
                        window.app.tab = 1
                        panels.chooseFolder("Choose the folder to put on the disc",
                                            path => window.app.makeImage.setFolder(path))
                    }
                }
            }
            MenuEntry {
                keys: "Alt+Ctrl+D"
                action: Action {
                    text: "Make ISO from Disc…"
                    shortcut: "Alt+Ctrl+D"
                    onTriggered: {
                        window.app.tab = 1
                        window.app.copyDisc.refreshDiscs()
                    }
                }
            }
            MenuEntry {
                text: "Checksums of a File…"
                onTriggered: {
                    window.app.tab = 2
                    panels.chooseFile("Choose an image (or any file) to check",
                                      path => window.app.checksums.checksum(path))
                }
            }
            MenuSeparator {}
            MenuEntry {
                text: "Save Burn Log…"
                onTriggered: panels.saveLog()
            }
        }
        FittedMenu {
            id: viewMenu
            title: "View"
            MenuEntry {
                objectName: "zoomInItem"
                keys: "Ctrl++"
                action: Action { text: "Zoom In"; shortcut: "Ctrl++"; onTriggered: window.app.zoom.zoomIn() }
            }
            MenuEntry {
                keys: "Ctrl+-"
                action: Action { text: "Zoom Out"; shortcut: "Ctrl+-"; onTriggered: window.app.zoom.zoomOut() }
            }
            MenuEntry {
                keys: "Ctrl+0"
                action: Action {
                    text: "Actual Size (100%)"
                    shortcut: "Ctrl+0"
                    onTriggered: window.app.zoom.actualSize()
                }
            }
            FittedMenu {
                id: levelMenu
                title: "Zoom Level"
                Component {
                    id: levelEntry
                    MenuEntry {
                        property int percent
                        text: window.app.zoom.levelTitle(percent)
                        checkable: true
                        checked: Math.round(window.app.zoom.value * 100) === percent
                        onTriggered: {
                            window.app.zoom.setLevel(percent)
                            checked = Qt.binding(() => Math.round(window.app.zoom.value * 100) === percent)
                        }
                    }
                }
                // Parented to the menu: entries owned by script alone are
                // collected as garbage once the menu has been shown.
                Component.onCompleted: {
                    for (const percent of window.app.zoom.levels)
                        addItem(levelEntry.createObject(levelMenu, {percent: percent}))
                }
            }
        }
        ThemeMenu {
            id: themeMenu
            objectName: "themeMenu"
            app: window.app
        }
        FittedMenu {
            title: "Burn"
            MenuEntry {
                keys: "Shift+Ctrl+B"
                action: Action {
                    text: "Burn All Decks (Audio CD)"
                    shortcut: "Shift+Ctrl+B"
                    onTriggered: {
                        window.app.tab = 0
                        window.app.burnAll()
                    }
                }
            }
            MenuEntry {
                text: "Burn Image…"
                onTriggered: window.burnImage()
            }
            MenuEntry {
                text: "Erase Disc…"
                onTriggered: window.app.tab = 1
            }
            MenuSeparator {}
            MenuEntry {
                keys: "Ctrl+1"
                action: Action { text: "Mirror Mode"; shortcut: "Ctrl+1"; onTriggered: window.changeMode(0) }
            }
            MenuEntry {
                keys: "Ctrl+2"
                action: Action { text: "Independent Mode"; shortcut: "Ctrl+2"; onTriggered: window.changeMode(1) }
            }
            MenuEntry {
                keys: "Ctrl+3"
                action: Action { text: "Copies Mode"; shortcut: "Ctrl+3"; onTriggered: window.changeMode(2) }
            }
            MenuSeparator {}
            MenuEntry {
                keys: "Ctrl+R"
                action: Action { text: "Refresh Drives"; shortcut: "Ctrl+R"; onTriggered: window.app.refreshDrives() }
            }
            MenuEntry {
                text: "Clear Finished Jobs"
                onTriggered: window.app.queue.clearFinished()
            }
        }
        FittedMenu {
            title: "Help"
            MenuEntry {
                text: "KLVO Tandor Help"
                keys: "F1"
                onTriggered: Chrome.showHelp("")
            }
            MenuEntry {
                text: "KLVO on the Web"
                onTriggered: Qt.openUrlExternally("https://klvo.app")
            }
        }
    }

    // The page ------------------------------------------------------------

    ZoomHost {
        id: host
        objectName: "zoomHost"
        anchors.fill: parent
        app: window.app

        MainView {
            id: page
            objectName: "page"
            x: 20
            y: 18
            width: host.designWidth - 40
            app: window.app
            panels: panels
        }
    }

    Component.onCompleted: {
        // The first size only: later screens changes go through the fitter.
        width = width
        height = height
    }
}
