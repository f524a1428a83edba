import QtQuick
import Kelvo

// A small indeterminate progress indicator: a turning arc.
Item {
    id: spinner
    property real size: 14
    property color color: Theme.color("muted")
    property bool running: visible

    implicitWidth: size
    implicitHeight: size

    Canvas {
        id: arc
        anchors.fill: parent
        antialiasing: true
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            const r = Math.min(width, height) / 2 - 1.5
            ctx.lineWidth = 1.6
            ctx.lineCap = "round"
            ctx.strokeStyle = spinner.color
            ctx.globalAlpha = 0.25
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, r, 0, 2 * Math.PI)
            ctx.stroke()
            ctx.globalAlpha = 1
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, r, -Math.PI / 2, Math.PI * 0.25)
            ctx.stroke()
        }
        Connections {
            target: spinner
            function onColorChanged() { arc.requestPaint() }
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: spinner.running
        }
    }
}
