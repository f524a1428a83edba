import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Window
import Qt.labs.qmlmodels
import Kelvo

// The main area beside the rail: manager tabs, the quick wins, the verdict filter with the
// sort line, and the rows of the selected manager (or of all of them). The view state and the
// lists live in InventoryPanelState; the list view only builds the rows on screen.
Rectangle {
    id: panel
    // The ScanController whose result is listed.
    property ScanController scan: null
    // The selected raw kind, "" for all managers.
    property string selected: ""
    property int listLimit: 30
    readonly property alias inventory: inventory
    readonly property alias list: list
    // Asks the shell to set the selection ("" = all managers).
    signal selectRequested(string kind)

    color: Theme.color("bg")

    InventoryPanelState {
        id: inventory
        scan: panel.scan
        app: AppState
        selected: panel.selected
        listLimit: panel.listLimit
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Flickable {
            id: tabStrip
            objectName: "managerTabs"
            Layout.fillWidth: true
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

            Row {
                id: tabs
                x: 14
                y: 8
                spacing: 6
                Repeater {
                    model: inventory.tabs
                    PillButton {
                        required property string kind
                        required title
                        required count
                        objectName: "tab_" + (kind === "" ? "all" : kind)
                        selected: panel.selected === kind
                        Accessible.name: title + ", " + count + " packages"
                        onClicked: panel.selectRequested(kind)
                        onActiveFocusChanged: if (activeFocus)
                            tabStrip.reveal(this)
                    }
                }
            }
        }
        Hairline {
            Layout.fillWidth: true
            color: Theme.color("hair")
        }

        ListView {
            id: list
            objectName: "inventoryList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: inventory.rows
            boundsBehavior: Flickable.StopAtBounds
            // Keep a screenful around the view so scrolling does not build rows at every step.
            cacheBuffer: 400
            reuseItems: true
            currentIndex: -1
            keyNavigationEnabled: true
            activeFocusOnTab: true
            highlightFollowsCurrentItem: false
            Accessible.role: Accessible.List
            Accessible.name: "Inventory"
            ScrollBar.vertical: ThemedScrollBar {}

            onActiveFocusChanged: if (activeFocus && currentIndex < 0 && count > 0)
                currentIndex = 0
            // The header (quick wins and filter bar) sits above the first row, at negative y. When
            // it unfolds or folds while any of it is on screen, the view shows it from its top, so
            // the quick wins open downwards under their button; a new list starts at the top.
            readonly property real headerHeight: headerItem ? headerItem.height : 0
            onHeaderHeightChanged: if (contentY <= 0)
                contentY = -headerHeight
            Connections {
                target: inventory.rows
                function onModelReset() {
                    list.positionViewAtBeginning()
                }
            }
            // A click on a row: the keyboard position moves there and the row toggles.
            function activate(index) {
                currentIndex = index
                toggleAt(index)
            }
            // Toggles a row; a row that opens is scrolled fully into view (its top first when it
            // is taller than the view).
            function toggleAt(index) {
                const rowId = inventory.rows.rowIdAt(index)
                inventory.toggleRow(rowId)
                if (inventory.expandedRowId === rowId)
                    Qt.callLater(() => {
                        if (index < count)
                            positionViewAtIndex(index, ListView.Contain)
                    })
            }
            // The view follows the keyboard row; a click leaves the view where it is.
            onCurrentIndexChanged: if (activeFocus && currentIndex >= 0)
                positionViewAtIndex(currentIndex, ListView.Contain)
            // The rows show the keyboard ring only while the keyboard is in use and on the rows, not
            // on a control of the header or footer.
            readonly property bool ownsKeyboard: FocusRings.shown && activeFocus && onRows(Window.activeFocusItem)
            function onRows(item) {
                for (let it = item; it; it = it.parent) {
                    if (it === headerItem || it === footerItem)
                        return false
                    if (it === list)
                        return true
                }
                return false
            }
            Keys.onPressed: event => {
                if (event.matches(StandardKey.Copy)) {
                    const command = inventory.rows.expandedReclaimCommand()
                    if (command !== "") {
                        // Through the row's own button when it is built, so the same "COPIED" shows.
                        const row = list.itemAtIndex(inventory.rows.indexOfRow(inventory.expandedRowId))
                        if (row && row.copyCommand)
                            row.copyCommand()
                        else
                            Ui.copyText(command)
                        event.accepted = true
                    }
                } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter
                           || event.key === Qt.Key_Space) {
                    // Holding the key down toggles once.
                    if (currentIndex >= 0 && !event.isAutoRepeat)
                        toggleAt(currentIndex)
                    event.accepted = currentIndex >= 0
                }
            }

            header: Column {
                width: list.width

                // Quick wins: always shown, also with none.
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
                            text: inventory.quickWins.header
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
                                enabled: inventory.quickWins.count > 0
                                text: enabled ? inventory.quickWins.copyAllText : ""
                                label: "Copy all"
                                Accessible.name: "Copy all quick-win commands"
                            }
                            PlainButton {
                                objectName: "expandWinsButton"
                                Accessible.name: inventory.quickWinsExpanded ? "Collapse quick wins" : "Expand quick wins"
                                onClicked: inventory.toggleQuickWins()
                                MonoLabel {
                                    objectName: "expandWinsLabel"
                                    text: inventory.quickWinsExpanded ? "Collapse" : "Expand"
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
                    visible: inventory.quickWinsExpanded
                    width: parent.width
                    height: visible ? blocks.implicitHeight + 10 : 0
                    ColumnLayout {
                        id: blocks
                        x: 14
                        width: parent.width - 28
                        spacing: 8
                        Repeater {
                            model: inventory.quickWinsExpanded ? inventory.quickWins : []
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

                // Verdict filter and sort line.
                Item {
                    width: parent.width
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
                                selected: inventory.verdictFilter === modelData
                                Accessible.name: "Show " + title
                                onClicked: inventory.verdictFilter = modelData
                            }
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        MonoLabel {
                            objectName: "sortLine"
                            visible: inventory.totalRows > 0
                            text: inventory.sortLine
                            size: 8.5
                            weight: Font.Medium
                            tracking: 0.1
                            color: Theme.color("faint")
                        }
                    }
                }
            }

            // Each row view takes the roles it needs as required properties.
            delegate: DelegateChooser {
                role: "isGroup"
                DelegateChoice {
                    roleValue: false
                    ItemRowView {
                        required property int index
                        width: ListView.view.width
                        keyboardCurrent: list.ownsKeyboard && ListView.isCurrentItem
                        onToggle: list.activate(index)
                    }
                }
                DelegateChoice {
                    roleValue: true
                    VersionGroupRowView {
                        required property int index
                        width: ListView.view.width
                        keyboardCurrent: list.ownsKeyboard && ListView.isCurrentItem
                        onToggle: list.activate(index)
                    }
                }
            }

            footer: Item {
                width: list.width
                height: inventory.showAllVisible ? showAll.implicitHeight + 20
                      : emptyState.wanted ? emptyState.implicitHeight + 48 : 0
                visible: inventory.showAllVisible || emptyState.wanted
                Column {
                    id: emptyState
                    objectName: "emptyState"
                    readonly property bool wanted: inventory.totalRows === 0 && panel.scan !== null && panel.scan.hasResult
                    visible: wanted
                    x: 14
                    y: 24
                    width: parent.width - 28
                    spacing: 6
                    Accessible.role: Accessible.StaticText
                    Accessible.name: inventory.emptyTitle + ". " + inventory.emptyDetail
                    Text {
                        objectName: "emptyTitle"
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: inventory.emptyTitle
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
                        text: inventory.emptyDetail
                        color: Theme.color("muted")
                        font.family: Theme.display
                        font.pointSize: Theme.pt(10.5)
                    }
                }
                PlainButton {
                    id: showAll
                    objectName: "showAllButton"
                    visible: inventory.showAllVisible
                    x: 14
                    y: 10
                    Accessible.name: inventory.showAllText + ", " + inventory.moreText
                    onClicked: inventory.showAll()
                    Row {
                        spacing: 6
                        MonoLabel {
                            objectName: "showAllLabel"
                            anchors.verticalCenter: parent.verticalCenter
                            text: inventory.showAllText
                            size: 9.5
                            weight: Font.DemiBold
                            tracking: 0.1
                            color: Theme.color("accent")
                        }
                        Text {
                            objectName: "moreText"
                            anchors.verticalCenter: parent.verticalCenter
                            text: inventory.moreText
                            color: Theme.color("faint")
                            font.family: Theme.mono
                            font.pointSize: Theme.pt(9.5)
                        }
                    }
                }
            }
        }
    }
}
