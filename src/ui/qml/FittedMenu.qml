import QtQuick
import QtQuick.Controls

// A menu as wide as its widest entry (label, shortcut, check and arrow), so
// no entry is cut short; the style alone gives every menu one fixed width.
Menu {
    id: menu
    // Read again whenever entries come or go, or one of them changes width.
    readonly property real widestEntry: {
        let widest = 0
        for (let i = 0; i < count; ++i) {
            const item = itemAt(i)
            if (item)
                widest = Math.max(widest, item.implicitWidth)
        }
        return widest
    }
    width: Math.max(implicitWidth, widestEntry + leftPadding + rightPadding)
}
