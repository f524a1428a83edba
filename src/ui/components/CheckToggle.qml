import QtQuick
import Kelvo

// A checkbox without a label of its own: its users name it with Accessible.name.
PlainButton {
    id: check
    property bool checked: false
    signal toggled(bool checked)
    implicitWidth: 14
    implicitHeight: 14
    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: check.checked
    onClicked: toggled(!checked)
    Rectangle {
        anchors.fill: parent
        radius: 3
        color: check.checked ? Theme.color("accent") : "transparent"
        border.width: 1
        border.color: check.checked ? Theme.color("accent") : Theme.color("hair2")
    }
    Icon {
        anchors.centerIn: parent
        visible: check.checked
        name: "checkmark"
        size: 10
        color: Theme.color("accentInk")
    }
}
