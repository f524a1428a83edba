import QtQuick
import QtQuick.Layouts
import Kelvo

// Several installed versions of one Node major version: a collapsed line that toggles the
// row, and while expanded the version to keep and the versions it supersedes. A list entry of
// InventoryRowsModel: the required properties are its roles.
Rectangle {
    id: row
    // Raw verdict tag of what the group holds, and the named colour of its leading bar.
    required property string tag
    required property string barColor
    required property string chip
    // The group's title, "Node 18".
    required property string name
    required property string versionsText
    required property string summary
    required property string sizeText
    required property string heat
    required property string keepName
    required property string keepLine
    required property string keepSizeText
    // [{name, sizeText, heat, command}], newest first; command is "" when there is none.
    required property var superseded
    required property bool expanded
    // Whether the list's keyboard position is on this row.
    property bool keyboardCurrent: false
    signal toggle()

    implicitWidth: 600
    implicitHeight: content.implicitHeight
    color: expanded ? Theme.color("surface2") : "transparent"

    Accessible.role: Accessible.ListItem
    Accessible.name: row.name + ", " + row.versionsText
    Accessible.description: Ui.verdictLabel(row.tag) + ", " + row.sizeText

    Column {
        id: content
        width: parent.width

        PlainButton {
            id: line
            objectName: "collapsedLine"
            width: parent.width
            implicitHeight: lineLayout.implicitHeight + 16
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
                        objectName: "verdictTag"
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
                    minimumWidth: 64
                    text: row.name
                    color: Theme.color("text")
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(11.5)
                    font.weight: Font.DemiBold
                }
                Text {
                    objectName: "versionsText"
                    text: row.versionsText
                    color: Theme.color("faint")
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(10)
                }
                RowText {
                    objectName: "summaryText"
                    text: row.summary
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

        Loader {
            objectName: "details"
            width: parent.width
            active: row.expanded
            visible: active
            sourceComponent: Item {
                implicitHeight: versions.implicitHeight + 12
                ColumnLayout {
                    id: versions
                    x: 14
                    width: parent.width - 28
                    spacing: 10

                    RowLayout {
                        objectName: "keepLine"
                        Layout.fillWidth: true
                        spacing: 8
                        Chip {
                            text: "KEEP"
                            color: Theme.color("safe")
                            border: Theme.color("safeBorder")
                            fill: "transparent"
                        }
                        RowText {
                            minimumWidth: 64
                            text: row.keepName
                            color: Theme.color("text")
                            font.family: Theme.mono
                            font.pointSize: Theme.pt(11.5)
                            font.weight: Font.DemiBold
                        }
                        RowText {
                            text: row.keepLine
                            color: Theme.color("muted")
                            font.family: Theme.display
                            font.pointSize: Theme.pt(11)
                        }
                        Item {
                            Layout.fillWidth: true
                            Layout.minimumWidth: 12
                        }
                        Text {
                            text: row.keepSizeText
                            color: Theme.color("faint")
                            font.family: Theme.mono
                            font.pointSize: Theme.pt(11)
                        }
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 6
                        Repeater {
                            model: row.superseded
                            ColumnLayout {
                                objectName: "supersededVersion"
                                required property var modelData
                                Layout.fillWidth: true
                                spacing: 6
                                RowLayout {
                                    objectName: "supersededLine"
                                    Layout.fillWidth: true
                                    spacing: 8
                                    // A version a project pins is kept like the group's own.
                                    Chip {
                                        text: modelData.pinnedBy !== "" ? "KEEP" : "SUPERSEDED"
                                        color: Theme.color(modelData.pinnedBy !== "" ? "safe" : "caution")
                                        border: Theme.color(modelData.pinnedBy !== "" ? "safeBorder" : "cautionBorder")
                                        fill: "transparent"
                                    }
                                    RowText {
                                        minimumWidth: 64
                                        text: modelData.name
                                        color: Theme.color("text")
                                        font.family: Theme.mono
                                        font.pointSize: Theme.pt(11.5)
                                        font.weight: Font.DemiBold
                                    }
                                    RowText {
                                        objectName: "pinnedLine"
                                        visible: modelData.pinnedBy !== ""
                                        text: modelData.pinnedBy
                                        color: Theme.color("muted")
                                        font.family: Theme.display
                                        font.pointSize: Theme.pt(11)
                                    }
                                    Item {
                                        Layout.fillWidth: true
                                        Layout.minimumWidth: 12
                                    }
                                    Text {
                                        text: modelData.sizeText
                                        color: Theme.color(modelData.heat)
                                        font.family: Theme.mono
                                        font.pointSize: Theme.pt(11)
                                    }
                                }
                                // How to remove this version, copyable like an item's command.
                                TerminalBlock {
                                    objectName: "supersededCommand"
                                    visible: modelData.command !== ""
                                    Layout.fillWidth: true
                                    Layout.bottomMargin: 4
                                    command: modelData.command
                                }
                            }
                        }
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
