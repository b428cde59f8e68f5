import QtQuick
import QtQuick.Templates as T
import Tandor.Kit

// The kit's tooltip: a small LCD-dark plate above its control.
T.ToolTip {
    id: tip
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: -height - 6
    delay: 600
    timeout: 10000
    padding: 7
    // Kept inside the window when its control sits near an edge.
    margins: 6
    width: Math.min(implicitContentWidth + leftPadding + rightPadding, 340)
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    closePolicy: T.Popup.CloseOnEscape | T.Popup.CloseOnPressOutsideParent | T.Popup.CloseOnReleaseOutsideParent

    contentItem: Text {
        text: tip.text
        color: Chrome.palette.chromeLight
        font.pixelSize: 12
        wrapMode: Text.Wrap
    }
    background: Rectangle {
        radius: 6
        color: Chrome.palette.lcdBack
        border.color: Qt.rgba(1, 1, 1, 0.18)
    }
}
