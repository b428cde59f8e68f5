import QtQuick
import Tandor.Kit

// The program's mark: a spun-metal disc with an accent ring around the hub.
Canvas {
    id: logo
    Accessible.role: Accessible.Graphic
    Accessible.name: "KLVO Tandor"

    readonly property var palette: Chrome.palette
    onPaletteChanged: requestPaint()
    onWidthChanged: requestPaint()

    onPaint: {
        const ctx = getContext("2d")
        const p = Chrome.palette
        const r = Math.min(width, height) / 2
        const cx = width / 2, cy = height / 2
        ctx.reset()

        ctx.shadowColor = Qt.rgba(0, 0, 0, 0.35)
        ctx.shadowBlur = 4
        ctx.shadowOffsetY = 1
        const metal = ctx.createConicalGradient(cx, cy, 0)
        const stops = [p.chromeLight, p.chromeMid, p.chromeDark, p.chromeMid, p.chromeLight,
                       p.chromeMid, p.chromeDark, p.chromeMid, p.chromeLight]
        for (let i = 0; i < stops.length; ++i)
            metal.addColorStop(i / (stops.length - 1), stops[i])
        ctx.fillStyle = metal
        ctx.beginPath()
        ctx.arc(cx, cy, r - 2, 0, 2 * Math.PI)
        ctx.fill()

        ctx.shadowColor = "transparent"
        ctx.strokeStyle = p.accent
        ctx.lineWidth = 2.5
        ctx.beginPath()
        ctx.arc(cx, cy, r * 0.42, 0, 2 * Math.PI)
        ctx.stroke()

        ctx.fillStyle = p.chromeDark
        ctx.beginPath()
        ctx.arc(cx, cy, r * 0.16, 0, 2 * Math.PI)
        ctx.fill()
    }
}
