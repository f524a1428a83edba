import QtQuick
import QtQuick.Layouts
import Kelvo

Rectangle {
    implicitHeight: 30
    color: Theme.color("titlebar")

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        spacing: 0

        Row {
            spacing: 6
            TierDot {
                anchors.verticalCenter: parent.verticalCenter
                size: 6
                color: Theme.color("safe")
            }
            MonoLabel {
                anchors.verticalCenter: parent.verticalCenter
                text: "Read-only"
                size: 8.5
                weight: Font.Medium
                tracking: 0.14
                color: Theme.color("muted")
            }
        }
        Item {
            Layout.fillWidth: true
        }
        MonoLabel {
            // Major and minor of the build's version: "Kelvo 1.0".
            text: "Kelvo " + Qt.application.version.split(".").slice(0, 2).join(".")
            size: 8.5
            weight: Font.Medium
            tracking: 0.14
            color: Theme.color("faint")
        }
    }
}
