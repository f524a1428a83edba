import QtQuick
import Kelvo

// Shows the path in the file manager; the path itself is shown home-abbreviated.
PlainButton {
    id: button
    property string path
    Accessible.name: "Reveal in Finder " + path

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight
    onClicked: Ui.reveal(path)

    Row {
        id: row
        spacing: 6
        width: Math.min(implicitWidth, button.width > 0 ? button.width : implicitWidth)
        Icon {
            id: icon
            anchors.verticalCenter: parent.verticalCenter
            name: "arrow.up.forward.app"
            size: 10
            color: Theme.color("faint")
        }
        MonoLabel {
            id: caption
            anchors.verticalCenter: parent.verticalCenter
            text: "Reveal in Finder"
            size: 9.5
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("faint")
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(0, Math.min(implicitWidth, row.width - icon.width - caption.width - 2 * row.spacing))
            text: Ui.abbreviatedPath(button.path)
            elide: Text.ElideMiddle
            maximumLineCount: 1
            color: Theme.color("faint2")
            font.family: Theme.mono
            font.pointSize: Theme.pt(9.5)
        }
    }
}
