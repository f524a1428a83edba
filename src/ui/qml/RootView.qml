import QtQuick
import QtQuick.Layouts
import Kelvo

// Title bar, the middle (start screen while scanning or before the first result, else the
// main layout: left rail 40 %, rule, inventory panel), footer; the settings sheet over it.
Item {
    id: root
    property bool autoScan: true
    // The selected manager's raw kind, "" for none (all managers).
    property string selectedTab: ""
    property bool showSettings: false
    readonly property alias scan: scanController
    readonly property bool showsStartScreen: scanController.isScanning || !scanController.hasResult

    function rescan() {
        scanController.scan()
    }

    ScanController {
        id: scanController
        projectFolders: AppState.projectFolders
    }

    // A manager turned off in Settings while selected would leave its rows on screen with no tab
    // or card selected: the view falls back to all managers.
    Connections {
        target: AppState
        function onEnabledManagersChanged() {
            if (root.selectedTab !== "" && AppState.enabledManagers.indexOf(root.selectedTab) < 0)
                root.selectedTab = ""
        }
    }

    Component.onCompleted: Qt.callLater(function () {
        if (root.autoScan && !scanController.hasResult)
            scanController.scan()
    })

    Rectangle {
        anchors.fill: parent
        color: Theme.color("bg")
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        TitleBar {
            Layout.fillWidth: true
            onRescan: root.rescan()
            onSettings: root.showSettings = true
        }
        Hairline {
            Layout.fillWidth: true
            color: Theme.color("hair")
        }
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            ScanView {
                objectName: "scanView"
                anchors.fill: parent
                visible: root.showsStartScreen
                isScanning: scanController.isScanning
                finishedKinds: scanController.finishedKinds
                liveCounts: scanController.liveCounts
                onScan: root.rescan()
            }
            Loader {
                id: mainLayout
                anchors.fill: parent
                active: !root.showsStartScreen
                sourceComponent: Item {
                    objectName: "mainLayout"
                    LeftRail {
                        id: rail
                        objectName: "leftRail"
                        anchors.top: parent.top
                        anchors.bottom: parent.bottom
                        anchors.left: parent.left
                        width: parent.width * 0.4
                        scan: scanController
                        selected: root.selectedTab
                        onSelectRequested: kind => root.selectedTab = kind
                    }
                    Hairline {
                        id: rule
                        vertical: true
                        anchors.top: parent.top
                        anchors.bottom: parent.bottom
                        anchors.left: rail.right
                        width: 1
                        color: Theme.color("hair")
                    }
                    InventoryPanel {
                        objectName: "inventoryPanel"
                        anchors.top: parent.top
                        anchors.bottom: parent.bottom
                        anchors.left: rule.right
                        anchors.right: parent.right
                        scan: scanController
                        selected: root.selectedTab
                        listLimit: 30
                        onSelectRequested: kind => root.selectedTab = kind
                    }
                }
            }
        }
        FooterBar {
            Layout.fillWidth: true
        }
    }

    KeyboardShortcuts {
        objectName: "keyboardShortcuts"
        settingsShown: root.showSettings
        onRescan: root.rescan()
        onOpenSettings: {
            root.showSettings = true
            settings.takeFocus()
        }
        onCloseSettings: root.showSettings = false
    }

    SettingsView {
        id: settings
        objectName: "settingsView"
        width: 340
        height: root.height
        y: 0
        x: root.showSettings ? root.width - width : root.width
        visible: x < root.width
        scan: scanController
        onRescan: root.rescan()
        onClose: root.showSettings = false
        Behavior on x {
            NumberAnimation {
                duration: 180
                easing.type: Easing.InOutQuad
            }
        }
    }
}
