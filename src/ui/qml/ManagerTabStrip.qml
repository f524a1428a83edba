import QtQuick
import Kelvo

// The manager tabs over the inventory list, "All" first, each with its count; the strip scrolls
// sideways when the panel is too narrow for them.
Flickable {
    id: tabStrip
    // The panel's state: the tabs.
    required property InventoryPanelState inventory
    // The selected raw kind, "" for all managers.
    property string selected: ""
    // Asks the shell to set the selection.
    signal selectRequested(string kind)

    objectName: "managerTabs"
    implicitHeight: tabs.implicitHeight + 16
    contentWidth: tabs.implicitWidth + 28
    contentHeight: height
    flickableDirection: Flickable.HorizontalFlick
    boundsBehavior: Flickable.StopAtBounds
    clip: true

    // Keeps the tab that has keyboard focus in view when the strip is too narrow.
    function reveal(tab) {
        const left = tabs.x + tab.x - 14
        const right = tabs.x + tab.x + tab.width + 14
        if (left < contentX)
            contentX = Math.max(0, left)
        else if (right > contentX + width)
            contentX = Math.min(contentWidth - width, right - width)
    }

    // However a tab was selected (a card of the rail too), it comes into view.
    onSelectedChanged: Qt.callLater(revealSelected)
    function revealSelected() {
        for (let i = 0; i < tabRepeater.count; ++i) {
            const tab = tabRepeater.itemAt(i)
            if (tab && tab.kind === selected)
                reveal(tab)
        }
    }

    // A mouse wheel turns one way only: it moves the strip sideways.
    WheelHandler {
        target: null
        acceptedDevices: PointerDevice.Mouse
        onWheel: event => {
            const delta = event.angleDelta.x !== 0 ? event.angleDelta.x : event.angleDelta.y
            tabStrip.contentX = Math.max(0, Math.min(tabStrip.contentWidth - tabStrip.width, tabStrip.contentX - delta))
        }
    }

    Row {
        id: tabs
        x: 14
        y: 8
        spacing: 6
        Repeater {
            id: tabRepeater
            model: tabStrip.inventory.tabs
            PillButton {
                required property string kind
                objectName: "tab_" + (kind === "" ? "all" : kind)
                required title
                required count
                selected: tabStrip.selected === kind
                Accessible.name: title + ", " + count + " packages"
                onClicked: tabStrip.selectRequested(kind)
                onActiveFocusChanged: if (activeFocus)
                    tabStrip.reveal(this)
            }
        }
    }
}
