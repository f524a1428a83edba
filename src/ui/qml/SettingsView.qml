import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kelvo

// The settings sheet that slides in over the trailing edge: appearance, size units, the
// managers to include, the project folders, re-scan, updates and what the application is (one
// file each in settings/). Every change goes to AppState (or the Updater) at once; there is
// nothing to apply or cancel. While open, the sheet keeps the keyboard (FocusTrap).
Rectangle {
    id: sheet
    // The window's scan: the time of its result and the size of each detected manager.
    property ScanController scan: null
    signal rescan()
    signal close()

    color: Theme.color("surface")

    // Moves keyboard focus into the sheet (the close button), also when asked before it shows;
    // on closing, the focus goes back to where it was before.
    function takeFocus() {
        trap.takeFocus()
    }
    FocusTrap {
        id: trap
        area: sheet
        first: closeButton
        open: sheet.visible && sheet.parent !== null && sheet.x < sheet.parent.width
    }

    Accessible.role: Accessible.Pane
    Accessible.name: "Settings"

    // Swallow clicks so that nothing under the sheet reacts.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
        onWheel: wheel => wheel.accepted = true
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item {
            Layout.fillWidth: true
            implicitHeight: 42
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 16
                MonoLabel {
                    text: "Settings"
                    size: 10
                    weight: Font.DemiBold
                    tracking: 0.2
                    color: Theme.color("text")
                }
                Item {
                    Layout.fillWidth: true
                }
                PlainButton {
                    id: closeButton
                    objectName: "closeButton"
                    implicitWidth: 18
                    implicitHeight: 18
                    Accessible.name: "Close settings"
                    onClicked: sheet.close()
                    Icon {
                        anchors.centerIn: parent
                        name: "xmark"
                        size: 11
                        color: Theme.color("muted")
                    }
                }
            }
        }
        Hairline {
            Layout.fillWidth: true
            color: Theme.color("hair")
        }
        ScrollView {
            id: scroller
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            contentHeight: sections.implicitHeight + 32
            ScrollBar.vertical: ThemedScrollBar {
                parent: scroller
                x: scroller.width - width - 2
                y: 2
                height: scroller.height - 4
            }
            ColumnLayout {
                id: sections
                objectName: "sections"
                x: 16
                y: 16
                width: scroller.availableWidth - 32
                spacing: 20

                AppearanceSection {}
                SizeUnitsSection {}
                ManagersSection {
                    scan: sheet.scan
                }
                ProjectFoldersSection {}
                ScanSection {
                    scan: sheet.scan
                    onRescan: sheet.rescan()
                }
                FeatureRequestsSection {}
                UpdatesSection {}
                AboutSection {}
            }
        }
    }

    Hairline {
        vertical: true
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        width: 1
        color: Theme.color("hair")
    }
}
