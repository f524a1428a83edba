import QtQuick
import QtQuick.Layouts
import Kelvo

// Brand, re-scan, the appearance toggle and the settings gear. On macOS the window's own
// buttons sit over the leading 78 points; elsewhere the system draws its title bar above us.
Rectangle {
    id: bar
    signal rescan()
    signal settings()

    implicitHeight: 42
    color: Theme.color("titlebar")

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: Qt.platform.os === "osx" ? 78 : 14
        anchors.rightMargin: 14
        spacing: 10

        Row {
            spacing: 8
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 12
                height: 12
                radius: 3
                color: Theme.color("accent")
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "KELVO"
                color: Theme.color("text")
                font.family: Theme.mono
                font.pointSize: Theme.pt(12.5)
                font.weight: Font.Bold
                font.letterSpacing: 1.75
            }
            MonoLabel {
                anchors.verticalCenter: parent.verticalCenter
                text: "Dependency Analyzer"
                size: 9
                weight: Font.Medium
                tracking: 0.2
                color: Theme.color("faint")
            }
        }
        Item {
            Layout.fillWidth: true
        }
        OutlineButton {
            objectName: "rescanButton"
            text: "Re-scan"
            textColor: Theme.color("muted")
            onClicked: bar.rescan()
        }
        OutlineButton {
            objectName: "appearanceToggle"
            text: ThemeData.toggleLabel
            textColor: Theme.color("muted")
            onClicked: ThemeData.toggleAppearance()
        }
        PlainButton {
            objectName: "settingsButton"
            implicitWidth: 22
            implicitHeight: 22
            onClicked: bar.settings()
            Accessible.name: "Settings"
            Icon {
                anchors.centerIn: parent
                name: "gearshape"
                size: 15
                color: Theme.color("muted")
            }
        }
    }
}
