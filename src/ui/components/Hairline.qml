import QtQuick
import Kelvo

// A 1-point rule, as wide (or, with vertical: true, as tall) as it is given.
Rectangle {
    property bool vertical: false
    implicitWidth: vertical ? 1 : 0
    implicitHeight: vertical ? 0 : 1
    color: Theme.color("hair")
}
