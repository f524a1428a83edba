import QtQuick
import Kelvo

// The end of the inventory list: the button that shows every row past the limit, or, when there
// are no rows, what is empty and why.
Item {
    id: footer
    // The panel's state: the counts and texts.
    required property InventoryPanelState inventory
    // Whether a scan result is listed: before one, an empty list says nothing.
    property bool hasResult: false

    height: footer.inventory.showAllVisible ? showAll.implicitHeight + 20
          : emptyState.wanted ? emptyState.implicitHeight + 48 : 0
    visible: footer.inventory.showAllVisible || emptyState.wanted
    Column {
        id: emptyState
        objectName: "emptyState"
        readonly property bool wanted: footer.inventory.totalRows === 0 && footer.hasResult
        visible: wanted
        x: 14
        y: 24
        width: parent.width - 28
        spacing: 6
        Accessible.role: Accessible.StaticText
        Accessible.name: footer.inventory.emptyTitle + ". " + footer.inventory.emptyDetail
        Text {
            objectName: "emptyTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: footer.inventory.emptyTitle
            color: Theme.color("text2")
            font.family: Theme.display
            font.pointSize: Theme.pt(12)
            font.weight: Font.Medium
        }
        Text {
            objectName: "emptyDetail"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: footer.inventory.emptyDetail
            color: Theme.color("muted")
            font.family: Theme.display
            font.pointSize: Theme.pt(10.5)
        }
    }
    PlainButton {
        id: showAll
        objectName: "showAllButton"
        visible: footer.inventory.showAllVisible
        x: 14
        y: 10
        Accessible.name: footer.inventory.showAllText + ", " + footer.inventory.moreText
        onClicked: footer.inventory.showAll()
        Row {
            spacing: 6
            MonoLabel {
                objectName: "showAllLabel"
                anchors.verticalCenter: parent.verticalCenter
                text: footer.inventory.showAllText
                size: 9.5
                weight: Font.DemiBold
                tracking: 0.1
                color: Theme.color("accent")
            }
            Text {
                objectName: "moreText"
                anchors.verticalCenter: parent.verticalCenter
                text: footer.inventory.moreText
                color: Theme.color("faint")
                font.family: Theme.mono
                font.pointSize: Theme.pt(9.5)
            }
        }
    }
}
