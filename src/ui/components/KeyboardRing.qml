import QtQuick
import Kelvo

// Marks the list row that the keyboard is on: an accent outline just inside its parent.
Rectangle {
    objectName: "keyboardRing"
    x: 1
    y: 1
    width: parent.width - 2
    height: parent.height - 2
    color: "transparent"
    border.width: 1.5
    border.color: Theme.color("accent")
    radius: 2
}
