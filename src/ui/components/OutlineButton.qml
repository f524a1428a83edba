import QtQuick
import Kelvo

// A label in an outlined rounded rectangle (title-bar buttons, "Re-scan now", …).
PlainButton {
    id: button
    property string text
    property color textColor: Theme.color("muted")
    property real verticalPadding: 4
    Accessible.name: text

    implicitWidth: label.implicitWidth + 18
    implicitHeight: label.implicitHeight + 2 * verticalPadding

    Rectangle {
        anchors.fill: parent
        radius: 4
        color: "transparent"
        border.width: 1
        border.color: button.hovered ? Theme.color("hair2") : Theme.color("hair")
    }
    MonoLabel {
        id: label
        anchors.centerIn: parent
        text: button.text
        size: 9
        weight: Font.DemiBold
        tracking: 0.1
        color: button.textColor
    }
}
