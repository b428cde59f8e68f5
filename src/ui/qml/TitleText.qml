import QtQuick
import Tandor.Kit

// Heading text filled with a top-to-bottom gradient over a soft shadow.
Canvas {
    id: title
    property string text
    property real pixelSize: 28

    readonly property var palette: Chrome.palette
    onPaletteChanged: requestPaint()
    onTextChanged: requestPaint()

    TextMetrics {
        id: metrics
        font.family: "DejaVu Sans"
        font.pixelSize: title.pixelSize
        font.weight: Font.Black
        font.letterSpacing: title.pixelSize * 0.08
        text: title.text
    }
    implicitWidth: Math.ceil(metrics.advanceWidth) + 8
    implicitHeight: Math.ceil(title.pixelSize * 1.3) + 4

    Accessible.role: Accessible.Heading
    Accessible.name: text

    onPaint: {
        const ctx = getContext("2d")
        const p = Chrome.palette
        ctx.reset()
        ctx.font = "bold " + Math.round(pixelSize) + "px \"DejaVu Sans\", sans-serif"
        ctx.textBaseline = "middle"
        // Canvas has no letter spacing; draw one letter at a time.
        const y = height / 2
        const g = ctx.createLinearGradient(0, y - pixelSize / 2, 0, y + pixelSize / 2)
        if (p.isLight) {
            g.addColorStop(0, Qt.darker(p.base, 1.6))
            g.addColorStop(0.55, p.text)
            g.addColorStop(1, Qt.darker(p.accent, 1.4))
        } else {
            g.addColorStop(0, p.chromeLight)
            g.addColorStop(0.55, p.chromeMid)
            g.addColorStop(1, p.accent)
        }
        ctx.fillStyle = g
        ctx.shadowColor = p.isLight ? Qt.rgba(1, 1, 1, 0.6) : Qt.rgba(0, 0, 0, 0.6)
        ctx.shadowBlur = 6
        ctx.shadowOffsetY = 2
        let x = 2
        for (let i = 0; i < text.length; ++i) {
            ctx.fillText(text[i], x, y)
            x += ctx.measureText(text[i]).width + metrics.font.letterSpacing
        }
    }
}
