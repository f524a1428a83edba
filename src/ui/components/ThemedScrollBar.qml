import QtQuick
import QtQuick.Controls.Basic
import Kelvo

// The Basic scroll bar in the theme's colours.
ScrollBar {
    id: bar
    policy: ScrollBar.AsNeeded
    minimumSize: 0.08
    contentItem: Rectangle {
        implicitWidth: 6
        implicitHeight: 6
        radius: 3
        color: bar.pressed ? Theme.color("faint") : Theme.color("hair2")
        opacity: bar.size < 1 ? (bar.active || bar.hovered ? 1 : 0.6) : 0
        Behavior on opacity { NumberAnimation { duration: 150 } }
    }
    background: Item {}
}
