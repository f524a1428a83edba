import QtQuick
import Kelvo

// Small outlined tag; the text is shown as given (not upper-cased).
Item {
    id: chip
    property string text
    property color color: Theme.color("text2")
    property color border: Theme.color("hair2")
    property color fill: "transparent"

    implicitWidth: label.implicitWidth + 12
    implicitHeight: label.implicitHeight + 4

    Rectangle {
        anchors.fill: parent
        radius: 4
        color: chip.fill
        border.color: chip.border
        border.width: 1
    }
    Text {
        id: label
        anchors.centerIn: parent
        text: chip.text
        color: chip.color
        font.family: Theme.mono
        font.pointSize: Theme.pt(9)
        font.weight: Font.Medium
        font.letterSpacing: 0.45
    }
}
