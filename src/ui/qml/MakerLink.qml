import QtQuick
import Tandor.Kit

// The maker's name, opening the maker's web page.
Text {
    id: link
    readonly property string url: "https://klvo.app"

    text: "KLVO"
    color: Chrome.palette.accentLabel
    font.pixelSize: 12
    font.bold: true
    font.letterSpacing: 0.6
    font.underline: hover.hovered

    Accessible.role: Accessible.Link
    Accessible.name: text
    Accessible.description: url
    Accessible.onPressAction: Qt.openUrlExternally(url)

    HoverHandler { id: hover; cursorShape: Qt.PointingHandCursor }
    TapHandler { onTapped: Qt.openUrlExternally(link.url) }
}
