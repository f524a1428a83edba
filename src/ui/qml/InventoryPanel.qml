import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Window
import Qt.labs.qmlmodels
import Kelvo

// The main area beside the rail: manager tabs (ManagerTabStrip), the quick wins
// (QuickWinsSection), the verdict filter with the sort line (VerdictFilterBar), and the rows of
// the selected manager (or of all of them), with a footer (InventoryListFooter). The view state
// and the lists live in InventoryPanelState; the list view only builds the rows on screen and
// takes the keys that move through them.
Rectangle {
    id: panel
    // The ScanController whose result is listed.
    property ScanController scan: null
    // The selected raw kind, "" for all managers.
    property string selected: ""
    property int listLimit: 30
    readonly property alias inventory: panelState
    readonly property alias list: list
    // Asks the shell to set the selection ("" = all managers).
    signal selectRequested(string kind)

    color: Theme.color("bg")

    InventoryPanelState {
        id: panelState
        scan: panel.scan
        app: AppState
        selected: panel.selected
        listLimit: panel.listLimit
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ManagerTabStrip {
            Layout.fillWidth: true
            inventory: panelState
            selected: panel.selected
            onSelectRequested: kind => panel.selectRequested(kind)
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
            model: panelState.rows
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
                target: panelState.rows
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
                const rowId = panelState.rows.rowIdAt(index)
                panelState.toggleRow(rowId)
                if (panelState.expandedRowId === rowId)
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
                    const command = panelState.rows.expandedReclaimCommand()
                    if (command !== "") {
                        // Through the row's own button when it is built, so the same "COPIED" shows.
                        const row = list.itemAtIndex(panelState.rows.indexOfRow(panelState.expandedRowId))
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

                QuickWinsSection {
                    width: parent.width
                    inventory: panelState
                }

                VerdictFilterBar {
                    width: parent.width
                    inventory: panelState
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

            footer: InventoryListFooter {
                width: list.width
                inventory: panelState
                hasResult: panel.scan !== null && panel.scan.hasResult
            }
        }
    }
}
