import QtQuick
import QtQuick.Layouts
import Kelvo

// One package of the inventory: a collapsed line that toggles the row, and while expanded its
// evidence, verdict sentence, reclaim command and a way to reveal it in the file manager. A list
// entry of InventoryRowsModel: the required properties are its roles.
Rectangle {
    id: row
    // Raw verdict tag: "safe", "likelyUnused", "inUse" or "dependency".
    required property string tag
    // Named colour of the leading bar while expanded.
    required property string barColor
    required property string chip
    required property string name
    // Shown beside the name when not empty.
    required property string version
    required property string identity
    required property string sizeText
    required property string heat
    required property var evidence
    required property string verdictText
    required property string reclaimCommand
    required property string path
    required property bool expanded
    // Whether the list's keyboard position is on this row.
    property bool keyboardCurrent: false
    signal toggle()
    // Copies the reclaim command as its copy button does, confirmation included.
    function copyCommand() {
        if (details.item)
            details.item.copyCommand()
    }

    implicitWidth: 600
    implicitHeight: content.implicitHeight
    color: expanded ? Theme.color("surface2") : "transparent"

    Accessible.role: Accessible.ListItem
    Accessible.name: row.name
    Accessible.description: Ui.verdictLabel(row.tag) + ", " + row.sizeText

    Column {
        id: content
        width: parent.width

        PlainButton {
            id: line
            objectName: "collapsedLine"
            width: parent.width
            implicitHeight: lineLayout.implicitHeight + 16
            // Rows are reached with the arrow keys; Tab moves on to the next control.
            activeFocusOnTab: false
            Accessible.name: (row.expanded ? "Collapse " : "Expand ") + row.name
            onClicked: row.toggle()

            RowLayout {
                id: lineLayout
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.leftMargin: 14
                anchors.rightMargin: 14
                anchors.verticalCenter: parent.verticalCenter
                spacing: 10

                Item {
                    objectName: "tagColumn"
                    Layout.preferredWidth: 118
                    Layout.minimumWidth: 118
                    Layout.maximumWidth: 118
                    implicitHeight: tagView.implicitHeight
                    VerdictTagView {
                        id: tagView
                        anchors.verticalCenter: parent.verticalCenter
                        tag: row.tag
                    }
                }
                Chip {
                    objectName: "managerChip"
                    text: row.chip
                    color: Theme.color("faint")
                    border: Theme.color("hair")
                    fill: "transparent"
                }
                RowText {
                    objectName: "nameText"
                    // The name is what the row is about: the identity gives way first.
                    minimumWidth: 180
                    text: row.name
                    color: Theme.color("text")
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(11.5)
                    font.weight: Font.DemiBold
                }
                RowText {
                    objectName: "versionText"
                    visible: row.version !== ""
                    minimumWidth: 32
                    text: row.version
                    color: Theme.color("faint")
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(10)
                }
                RowText {
                    objectName: "identityText"
                    visible: row.identity !== ""
                    text: row.identity
                    color: Theme.color("muted")
                    font.family: Theme.display
                    font.pointSize: Theme.pt(11)
                }
                Item {
                    Layout.fillWidth: true
                    Layout.minimumWidth: 12
                }
                Text {
                    objectName: "sizeText"
                    text: row.sizeText
                    color: Theme.color(row.heat)
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(11.5)
                    font.weight: Font.Medium
                }
            }
        }

        // Built only while expanded: most rows never pay for it.
        Loader {
            id: details
            objectName: "details"
            width: parent.width
            active: row.expanded
            visible: active
            sourceComponent: Item {
                function copyCommand() {
                    terminal.copy()
                }
                implicitHeight: detailsColumn.implicitHeight + 12
                ColumnLayout {
                    id: detailsColumn
                    x: 14
                    width: parent.width - 28
                    spacing: 10

                    ColumnLayout {
                        objectName: "evidenceSection"
                        visible: row.evidence && row.evidence.length > 0
                        Layout.fillWidth: true
                        spacing: 6
                        MonoLabel {
                            text: "Evidence"
                            size: 8.5
                            weight: Font.Medium
                            tracking: 0.2
                            color: Theme.color("faint")
                        }
                        // Left to right, a new row when the next chip would pass the width.
                        Flow {
                            Layout.fillWidth: true
                            spacing: 6
                            Repeater {
                                model: row.evidence
                                Chip {
                                    required property string modelData
                                    text: modelData
                                    color: Theme.color("text2")
                                    border: Theme.color("hair2")
                                    fill: "transparent"
                                }
                            }
                        }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4
                        MonoLabel {
                            objectName: "verdictLabel"
                            text: "Verdict"
                            size: 8.5
                            weight: Font.Medium
                            tracking: 0.2
                            color: Theme.color("faint")
                        }
                        Text {
                            objectName: "verdictText"
                            Layout.fillWidth: true
                            text: row.verdictText
                            wrapMode: Text.Wrap
                            color: Theme.color("text2")
                            font.family: Theme.display
                            font.pointSize: Theme.pt(11.5)
                        }
                    }
                    TerminalBlock {
                        id: terminal
                        objectName: "terminalBlock"
                        visible: row.reclaimCommand !== ""
                        Layout.fillWidth: true
                        command: row.reclaimCommand
                    }
                    RevealInFinder {
                        objectName: "reveal"
                        visible: row.path !== ""
                        Layout.preferredWidth: implicitWidth
                        Layout.maximumWidth: detailsColumn.width
                        path: row.path
                    }
                }
            }
        }
        Hairline {
            id: rule
            width: parent.width
            color: Theme.color("hairFaint")
        }
    }

    Rectangle {
        objectName: "leadingBar"
        visible: row.expanded
        width: 2
        height: row.height - rule.height
        color: Theme.color(row.barColor)
    }
    KeyboardRing {
        visible: row.keyboardCurrent
    }
}
