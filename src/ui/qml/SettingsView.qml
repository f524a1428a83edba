import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Kelvo
import "../components"

// The settings sheet that slides in over the trailing edge: its frame (header with the close
// button, rule, scrolling body). The sections are built into `sections`.
Rectangle {
    id: sheet
    // ScanController.result, or null before the first scan.
    property var result: null
    signal rescan()
    signal close()

    color: Theme.color("surface")

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
                    objectName: "closeButton"
                    implicitWidth: 18
                    implicitHeight: 18
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
