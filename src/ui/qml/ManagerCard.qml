import QtQuick
import QtQuick.Layouts
import Kelvo

// One detected manager: chip, name, version and size; summary and the reclaim note.
// The whole card is the click target.
PlainButton {
    id: cardView
    // A card of RailModel.cards.
    property var card: ({})
    property bool selected: false
    signal tapped()

    implicitHeight: rows.implicitHeight + 20
    onClicked: tapped()
    Accessible.name: card.displayName || ""

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: Theme.color("surface")
        border.width: 1
        border.color: cardView.selected ? Theme.color("accent")
                                        : cardView.hovered ? Theme.color("hair2") : Theme.color("hair")
    }

    ColumnLayout {
        id: rows
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        spacing: 6

        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Chip {
                text: cardView.card.shortLabel || ""
                color: Theme.color("text2")
                border: Theme.color("hair2")
                fill: Theme.color("surface3")
            }
            Text {
                text: cardView.card.displayName || ""
                color: Theme.color("text")
                font.family: Theme.mono
                font.pointSize: Theme.pt(12)
                font.weight: Font.DemiBold
            }
            Text {
                objectName: "version"
                visible: cardView.card.version !== null && cardView.card.version !== undefined
                text: visible ? cardView.card.version : ""
                elide: Text.ElideRight
                Layout.fillWidth: false
                Layout.maximumWidth: 120
                color: Theme.color("faint2")
                font.family: Theme.mono
                font.pointSize: Theme.pt(9.5)
                HoverHandler {
                    id: versionHover
                }
                FullTextTip {
                    shown: versionHover.hovered && parent.truncated
                    text: parent.text
                }
            }
            Item {
                Layout.fillWidth: true
                Layout.minimumWidth: 8
            }
            Text {
                objectName: "size"
                text: cardView.card.sizeText || ""
                color: Theme.color("text")
                font.family: Theme.mono
                font.pointSize: Theme.pt(12)
                font.weight: Font.Medium
            }
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Text {
                objectName: "summary"
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                text: cardView.card.summary || ""
                elide: Text.ElideRight
                color: Theme.color("muted")
                font.family: Theme.display
                font.pointSize: Theme.pt(10.5)
                HoverHandler {
                    id: summaryHover
                }
                FullTextTip {
                    shown: summaryHover.hovered && parent.truncated
                    text: parent.text
                }
            }
            Text {
                objectName: "note"
                visible: (cardView.card.noteKind || "") !== ""
                text: cardView.card.note || ""
                color: cardView.card.noteKind === "reclaimable" ? Theme.color("accent") : Theme.color("safe")
                font.family: Theme.mono
                font.pointSize: Theme.pt(9.5)
                font.weight: cardView.card.noteKind === "reclaimable" ? Font.Medium : Font.Normal
            }
        }
    }
}
