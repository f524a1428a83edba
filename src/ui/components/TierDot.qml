import QtQuick
import Kelvo

Rectangle {
    property real size: 6
    width: size
    height: size
    implicitWidth: size
    implicitHeight: size
    radius: size / 2
}
