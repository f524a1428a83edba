import QtQuick
import QtQuick.Controls.Basic
import Kelvo

// The whole of a text that is shown cut short, in a tip over it while the pointer rests there.
// Placed inside the text it belongs to; `shown` is usually hover && truncated.
ToolTip {
    id: tip
    objectName: "fullTextTip"
    property bool shown: false
    visible: shown
    delay: 400
    width: Math.min(implicitWidth, 540)
    contentItem: Text {
        text: tip.text
        wrapMode: Text.Wrap
        color: Theme.color("text")
        font.family: Theme.mono
        font.pointSize: Theme.pt(9.5)
    }
    background: Rectangle {
        radius: 4
        color: Theme.color("surface")
        border.width: 1
        border.color: Theme.color("hair2")
    }
}
