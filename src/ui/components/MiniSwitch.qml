import QtQuick
import Kelvo

// A small on/off switch; the knob slides to the trailing end when on.
PlainButton {
    id: toggle
    property bool checked: false
    signal toggled(bool checked)
    implicitWidth: 24
    implicitHeight: 14
    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: toggle.checked
    onClicked: toggled(!checked)
    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: toggle.checked ? Theme.color("accent") : Theme.color("surface3")
        border.width: 1
        border.color: toggle.checked ? Theme.color("accent") : Theme.color("hair2")
    }
    Rectangle {
        width: 10
        height: 10
        radius: 5
        y: 2
        x: toggle.checked ? toggle.width - width - 2 : 2
        color: toggle.checked ? Theme.color("accentInk") : Theme.color("muted")
        Behavior on x {
            NumberAnimation {
                duration: 120
            }
        }
    }
}
