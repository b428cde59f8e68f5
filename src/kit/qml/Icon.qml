import QtQuick
import Tandor.Kit

// One symbol of the icon font, e.g. Icon { symbol: "flame.fill" }.
Text {
    id: icon
    property string symbol
    property real size: 16

    FontLoader { id: iconFont; source: Chrome.iconFont }

    text: Chrome.glyph(symbol)
    font.family: iconFont.font.family
    font.pixelSize: Math.round(size)
    color: Chrome.palette.text
    width: size
    height: size
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    Accessible.ignored: true
}
