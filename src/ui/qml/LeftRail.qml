import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kelvo

// The reclaimable total, one card per detected and enabled manager (largest first), and the
// footer with the managers not found and the package count.
Rectangle {
    id: rail
    property var scan: null
    // The selected raw kind, "" for none.
    property string selected: ""
    // Asks the shell to set the selection ("" clears it).
    signal selectRequested(string kind)
    readonly property alias model: railModel

    color: Theme.color("surface3")

    function toggle(kind) {
        rail.selectRequested(railModel.toggledSelection(rail.selected, kind))
    }

    RailModel {
        id: railModel
        scan: rail.scan
        app: AppState
    }

    ScrollView {
        id: scroller
        anchors.fill: parent
        contentWidth: availableWidth
        contentHeight: column.implicitHeight + 32
        ScrollBar.vertical: ThemedScrollBar {
            parent: scroller
            x: scroller.width - width - 2
            y: 2
            height: scroller.height - 4
        }

        ColumnLayout {
            id: column
            x: 16
            y: 16
            width: scroller.availableWidth - 32
            spacing: 14

            Rectangle {
                objectName: "summaryCard"
                Layout.fillWidth: true
                implicitHeight: summary.implicitHeight + 32
                radius: 8
                color: Theme.color("surface")
                border.width: 1
                border.color: Theme.color("hair")

                ColumnLayout {
                    id: summary
                    anchors.fill: parent
                    anchors.margins: 16
                    spacing: 10

                    MonoLabel {
                        text: "Reclaimable"
                        size: 9
                        weight: Font.Medium
                        tracking: 0.2
                        color: Theme.color("faint")
                    }
                    Item {
                        Layout.fillWidth: true
                        implicitHeight: bigNumber.implicitHeight
                        Text {
                            id: bigNumber
                            objectName: "bigNumber"
                            text: railModel.bigNumber
                            color: Theme.color("accent")
                            font.family: Theme.display
                            // "Nothing reclaimable" is words, not a number: smaller, so it fits.
                            font.pointSize: Theme.pt(railModel.bigUnit === "" ? 26 : 52)
                            font.weight: Font.Bold
                        }
                        Text {
                            objectName: "bigUnit"
                            x: bigNumber.implicitWidth + 6
                            y: bigNumber.baselineOffset - baselineOffset
                            text: railModel.bigUnit
                            color: Theme.color("accent")
                            opacity: 0.8
                            font.family: Theme.mono
                            font.pointSize: Theme.pt(21)
                            font.weight: Font.Medium
                        }
                    }
                    Text {
                        objectName: "subtitle"
                        Layout.fillWidth: true
                        text: railModel.subtitle
                        wrapMode: Text.WordWrap
                        color: Theme.color("muted")
                        font.family: Theme.mono
                        font.pointSize: Theme.pt(10.5)
                    }
                }
            }

            MonoLabel {
                text: "Managers \u2014 by size"
                size: 8.5
                weight: Font.Medium
                tracking: 0.2
                color: Theme.color("faint")
            }

            ColumnLayout {
                objectName: "cardsColumn"
                Layout.fillWidth: true
                // Without cards it takes no room (an empty layout keeps its last height otherwise).
                visible: railModel.cards.length > 0
                spacing: 6
                Repeater {
                    objectName: "cards"
                    model: railModel.cards
                    ManagerCard {
                        required property var modelData
                        Layout.fillWidth: true
                        card: modelData
                        selected: rail.selected !== "" && rail.selected === modelData.kind
                        onTapped: rail.toggle(modelData.kind)
                    }
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.topMargin: 4
                spacing: 6
                Text {
                    objectName: "notDetected"
                    Layout.fillWidth: true
                    visible: railModel.notDetected !== ""
                    text: railModel.notDetected
                    wrapMode: Text.WordWrap
                    color: Theme.color("faint2")
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(9.5)
                }
                Text {
                    objectName: "countLine"
                    Layout.fillWidth: true
                    text: railModel.countLine
                    wrapMode: Text.WordWrap
                    color: Theme.color("faint")
                    font.family: Theme.mono
                    font.pointSize: Theme.pt(9.5)
                }
            }
        }
    }
}
