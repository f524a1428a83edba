import QtQuick
import Kelvo

// A rounded tab or filter button with an optional count.
PlainButton {
    id: pill
    property string title
    // An integer, or null/undefined for none.
    property var count: null
    property bool selected: false
    readonly property bool hasCount: count !== null && count !== undefined
    Accessible.name: title

    implicitWidth: row.implicitWidth + 18
    implicitHeight: row.implicitHeight + 8

    Rectangle {
        anchors.fill: parent
        radius: 4
        color: pill.selected ? Theme.color("accent") : "transparent"
        border.width: 1
        border.color: pill.selected ? "transparent" : pill.hovered ? Theme.color("hair2") : Theme.color("hair")
    }
    Row {
        id: row
        anchors.centerIn: parent
        spacing: 6
        MonoLabel {
            anchors.verticalCenter: parent.verticalCenter
            text: pill.title
            size: 9.5
            weight: Font.DemiBold
            tracking: 0.1
            color: pill.selected ? Theme.color("accentInk") : Theme.color("muted")
        }
        Text {
            objectName: "countText"
            anchors.verticalCenter: parent.verticalCenter
            visible: pill.hasCount
            text: pill.hasCount ? String(pill.count) : ""
            font.family: Theme.mono
            font.pointSize: Theme.pt(9)
            font.weight: Font.Medium
            color: pill.selected ? Theme.color("accentInk") : Theme.color("faint")
            opacity: pill.selected ? 0.7 : 1
        }
    }
}
