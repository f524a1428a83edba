import QtQuick
import Kelvo

// One choice of a set (appearance, size unit), filled with the accent while it is the current one.
PlainButton {
    id: option
    property string text
    property bool current: false
    implicitWidth: optionLabel.implicitWidth + 18
    implicitHeight: optionLabel.implicitHeight + 10
    Accessible.name: option.text
    Accessible.checkable: true
    Accessible.checked: option.current
    Rectangle {
        anchors.fill: parent
        radius: 4
        color: option.current ? Theme.color("accent") : "transparent"
        border.width: 1
        border.color: option.current ? "transparent" : Theme.color("hair")
    }
    MonoLabel {
        id: optionLabel
        anchors.centerIn: parent
        text: option.text
        size: 9
        weight: Font.DemiBold
        tracking: 0.05
        color: option.current ? Theme.color("accentInk") : Theme.color("muted")
    }
}
