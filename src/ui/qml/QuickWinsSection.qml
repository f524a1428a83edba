import QtQuick
import QtQuick.Layouts
import Kelvo

// The quick wins at the head of the inventory list, always shown, also with none: how many there
// are, a button that copies all their commands and one that unfolds them, each with its size,
// command and what it does.
Column {
    id: section
    // The panel's state: the quick wins and whether they are unfolded.
    required property InventoryPanelState inventory

    Item {
        width: parent.width
        implicitHeight: winsHeader.implicitHeight + 18
        RowLayout {
            id: winsHeader
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 14
            anchors.rightMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            Text {
                objectName: "quickWinsHeader"
                text: section.inventory.quickWins.header
                color: Theme.color("text2")
                font.family: Theme.mono
                font.pointSize: Theme.pt(10.5)
                font.weight: Font.Medium
            }
            Item {
                Layout.fillWidth: true
            }
            Row {
                spacing: 6
                CopyButton {
                    objectName: "copyAllButton"
                    // Disabled with nothing to copy, so the clipboard keeps what it holds.
                    enabled: section.inventory.quickWins.count > 0
                    text: enabled ? section.inventory.quickWins.copyAllText : ""
                    label: "Copy all"
                    Accessible.name: "Copy all quick-win commands"
                }
                PlainButton {
                    objectName: "expandWinsButton"
                    Accessible.name: section.inventory.quickWinsExpanded ? "Collapse quick wins" : "Expand quick wins"
                    onClicked: section.inventory.toggleQuickWins()
                    MonoLabel {
                        objectName: "expandWinsLabel"
                        text: section.inventory.quickWinsExpanded ? "Collapse" : "Expand"
                        size: 9
                        weight: Font.DemiBold
                        tracking: 0.1
                        color: Theme.color("muted")
                    }
                }
            }
        }
    }
    Item {
        objectName: "quickWinBlocks"
        visible: section.inventory.quickWinsExpanded
        width: parent.width
        height: visible ? blocks.implicitHeight + 10 : 0
        ColumnLayout {
            id: blocks
            x: 14
            width: parent.width - 28
            spacing: 8
            Repeater {
                model: section.inventory.quickWinsExpanded ? section.inventory.quickWins : []
                ColumnLayout {
                    id: win
                    required property string title
                    required property string command
                    required property string detail
                    required property string sizeText
                    required property string heat
                    Layout.fillWidth: true
                    spacing: 4
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        Text {
                            Layout.fillWidth: true
                            text: win.title
                            wrapMode: Text.Wrap
                            color: Theme.color("text2")
                            font.family: Theme.display
                            font.pointSize: Theme.pt(11)
                            font.weight: Font.Medium
                        }
                        // What the command addresses, when the items it cleans were measured.
                        Text {
                            objectName: "quickWinSize"
                            visible: win.sizeText !== ""
                            text: win.sizeText
                            color: Theme.color(win.heat)
                            font.family: Theme.mono
                            font.pointSize: Theme.pt(10.5)
                            font.weight: Font.Medium
                        }
                    }
                    TerminalBlock {
                        Layout.fillWidth: true
                        command: win.command
                    }
                    Text {
                        Layout.fillWidth: true
                        text: win.detail
                        wrapMode: Text.Wrap
                        color: Theme.color("muted")
                        font.family: Theme.display
                        font.pointSize: Theme.pt(10.5)
                    }
                }
            }
        }
    }
}
