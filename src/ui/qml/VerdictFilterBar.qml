import QtQuick
import QtQuick.Layouts
import Kelvo

// The verdict filter over the inventory list, and the sort line: how many rows show of how many.
Item {
    id: bar
    // The panel's state: the filter and the counts.
    required property InventoryPanelState inventory

    implicitHeight: filterBar.implicitHeight + 16
    RowLayout {
        id: filterBar
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
        Repeater {
            model: Ui.verdictFilters()
            PillButton {
                required property string modelData
                objectName: "filter_" + (modelData === "" ? "all" : modelData)
                title: Ui.verdictFilterTitle(modelData)
                selected: bar.inventory.verdictFilter === modelData
                Accessible.name: "Show " + title
                onClicked: bar.inventory.verdictFilter = modelData
            }
        }
        Item {
            Layout.fillWidth: true
        }
        MonoLabel {
            objectName: "sortLine"
            visible: bar.inventory.totalRows > 0
            text: bar.inventory.sortLine
            size: 8.5
            weight: Font.Medium
            tracking: 0.1
            color: Theme.color("faint")
        }
    }
}
