import QtQuick
import QtQuick.Layouts
import Kelvo

// A shell command: "$", the command (selectable) and a copy button.
Item {
    id: block
    property string command
    // Copies the command with the same confirmation as a press of its button.
    function copy() {
        copyButton.copy()
    }

    implicitWidth: layout.implicitWidth + 24
    implicitHeight: layout.implicitHeight + 18

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: Theme.color("termBg")
        border.width: 1
        border.color: Theme.color("termHair")
    }
    RowLayout {
        id: layout
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 9
        anchors.bottomMargin: 9
        spacing: 10

        RowLayout {
            spacing: 8
            Layout.fillWidth: true
            Text {
                Layout.alignment: Qt.AlignTop
                text: "$"
                color: Theme.color("termText")
                opacity: 0.5
                font.family: Theme.mono
                font.pointSize: Theme.pt(11.5)
                font.weight: Font.Medium
            }
            TextEdit {
                id: commandText
                Layout.fillWidth: true
                Layout.minimumWidth: 40
                // Shown with hidden characters escaped; the copy button copies the exact command.
                text: Ui.displayText(block.command)
                readOnly: true
                selectByMouse: true
                // At spaces; inside a word only when the word alone is wider than the block.
                wrapMode: TextEdit.Wrap
                color: Theme.color("termText")
                selectionColor: Theme.color("accent")
                selectedTextColor: Theme.color("accentInk")
                font.family: Theme.mono
                font.pointSize: Theme.pt(11.5)
                font.weight: Font.Medium
            }
        }
        CopyButton {
            id: copyButton
            objectName: "copyButton"
            Layout.leftMargin: 8 - layout.spacing > 0 ? 8 - layout.spacing : 0
            text: block.command
            tint: Theme.color("copyInk")
            label: "COPY"
        }
    }
}
