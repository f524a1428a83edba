import QtQuick
import Kelvo

// The few symbols the window draws, as strokes in `color`: "gearshape", "checkmark",
// "doc.on.doc", "arrow.up.forward.app", "xmark".
Canvas {
    id: icon
    property string name
    property real size: 10
    property color color: Theme.color("muted")

    implicitWidth: size
    implicitHeight: size
    width: implicitWidth
    height: implicitHeight
    antialiasing: true

    onNameChanged: requestPaint()
    onColorChanged: requestPaint()
    onSizeChanged: requestPaint()

    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        const s = Math.min(width, height)
        if (s <= 0)
            return
        ctx.strokeStyle = icon.color
        ctx.fillStyle = icon.color
        ctx.lineWidth = Math.max(1, s / 10)
        ctx.lineCap = "round"
        ctx.lineJoin = "round"
        const p = (x, y) => [x * s, y * s]
        function line(points) {
            ctx.beginPath()
            ctx.moveTo(points[0][0] * s, points[0][1] * s)
            for (let i = 1; i < points.length; ++i)
                ctx.lineTo(points[i][0] * s, points[i][1] * s)
            ctx.stroke()
        }
        function roundedRect(x, y, w, h, r) {
            ctx.beginPath()
            ctx.roundedRect(x * s, y * s, w * s, h * s, r * s, r * s)
            ctx.stroke()
        }
        switch (name) {
        case "checkmark":
            line([[0.12, 0.54], [0.38, 0.8], [0.9, 0.2]])
            break
        case "xmark":
            line([[0.18, 0.18], [0.82, 0.82]])
            line([[0.82, 0.18], [0.18, 0.82]])
            break
        case "doc.on.doc":
            line([[0.34, 0.26], [0.34, 0.1], [0.9, 0.1], [0.9, 0.66], [0.74, 0.66]])
            roundedRect(0.1, 0.34, 0.56, 0.56, 0.08)
            break
        case "arrow.up.forward.app":
            line([[0.46, 0.12], [0.12, 0.12], [0.12, 0.88], [0.88, 0.88], [0.88, 0.54]])
            line([[0.44, 0.56], [0.88, 0.12]])
            line([[0.6, 0.12], [0.88, 0.12], [0.88, 0.4]])
            break
        case "gearshape": {
            const c = s / 2
            const outer = s * 0.47
            const inner = s * 0.35
            const teeth = 8
            ctx.lineWidth = Math.max(1, s / 13)
            ctx.beginPath()
            for (let k = 0; k < teeth; ++k) {
                const a = k * 2 * Math.PI / teeth
                const points = [[a - 0.30, inner], [a - 0.16, outer], [a + 0.16, outer], [a + 0.30, inner]]
                for (let j = 0; j < points.length; ++j) {
                    const x = c + points[j][1] * Math.cos(points[j][0])
                    const y = c + points[j][1] * Math.sin(points[j][0])
                    if (k === 0 && j === 0)
                        ctx.moveTo(x, y)
                    else
                        ctx.lineTo(x, y)
                }
            }
            ctx.closePath()
            ctx.stroke()
            ctx.beginPath()
            ctx.arc(c, c, s * 0.14, 0, 2 * Math.PI)
            ctx.stroke()
            break
        }
        }
    }
}
