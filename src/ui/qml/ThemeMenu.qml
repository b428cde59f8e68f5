import QtQuick
import QtQuick.Controls
import Tandor.App

// The 21 themes in menu order, the current one checked. Used as the Theme
// menu and under the header's theme button.
FittedMenu {
    id: menu
    required property AppModel app

    title: "Theme"

    Component {
        id: entry
        MenuEntry {
            property string themeId
            checkable: true
            checked: menu.app.themes.themeId === themeId
            onTriggered: {
                menu.app.themes.themeId = themeId
                // A click toggles the check; the store decides it.
                checked = Qt.binding(() => menu.app.themes.themeId === themeId)
            }
        }
    }
    // Parented to the menu: entries owned by script alone are collected as
    // garbage once the menu has been shown, and it opens empty.
    Component.onCompleted: {
        const ids = app.themes.ids, names = app.themes.names
        for (let i = 0; i < ids.length; ++i)
            addItem(entry.createObject(menu, {text: names[i], themeId: ids[i]}))
    }
}
