import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kelvo
import "../components"

// The inventory panel's place in the main layout: the manager tabs, the rule below them and
// the area the list fills. The quick wins, the verdict filter and the rows are built on this.
Rectangle {
    id: panel
    // ScanController.result: {scannedAt, managers: [...], inventoriedCount, ...}
    property var result: null
    // The selected raw kind, "" for all managers.
    property string selected: ""
    property int listLimit: 30
    // Asks the shell to set the selection ("" = all managers).
    signal selectRequested(string kind)

    readonly property var visibleReports: {
        const enabled = AppState.enabledManagers
        const managers = panel.result ? panel.result.managers : []
        return managers.filter(report => report.detected && enabled.indexOf(report.kind) >= 0)
    }

    color: Theme.color("bg")

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Flickable {
            objectName: "managerTabs"
            Layout.fillWidth: true
            implicitHeight: tabs.implicitHeight + 16
            contentWidth: tabs.implicitWidth + 28
            contentHeight: height
            flickableDirection: Flickable.HorizontalFlick
            boundsBehavior: Flickable.StopAtBounds
            clip: true

            Row {
                id: tabs
                x: 14
                y: 8
                spacing: 6
                PillButton {
                    title: "All"
                    count: panel.result ? panel.result.inventoriedCount : 0
                    selected: panel.selected === ""
                    onClicked: panel.selectRequested("")
                }
                Repeater {
                    model: panel.visibleReports
                    PillButton {
                        required property var modelData
                        title: modelData.displayName
                        count: modelData.items.length
                        selected: panel.selected === modelData.kind
                        onClicked: panel.selectRequested(modelData.kind)
                    }
                }
            }
        }
        Hairline {
            Layout.fillWidth: true
            color: Theme.color("hair")
        }
        Item {
            objectName: "listArea"
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
