import QtQuick
import Kelvo

// The start screen: the mark, the tagline and either the "Scan" button or the progress rows,
// where each manager's name lights up with a check mark once its adapter has finished, with how
// much it has measured so far below it while it runs.
Rectangle {
    id: view
    property bool isScanning: false
    // Raw kinds whose adapter has finished in the running scan.
    property var finishedKinds: []
    // Raw kind -> {files, bytes, note} measured so far in the running scan.
    property var liveCounts: ({})
    signal scan()

    color: Theme.color("bg")

    Column {
        anchors.centerIn: parent
        spacing: 20

        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 34
            height: 34
            radius: 6
            color: Theme.color("accent")
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Every package manager. Every dependency.\nWhat's safe to reclaim."
            horizontalAlignment: Text.AlignHCenter
            lineHeight: 1.15
            color: Theme.color("text")
            font.family: Theme.display
            font.pointSize: Theme.pt(15)
            font.weight: Font.Medium
        }
        Column {
            objectName: "progress"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: view.isScanning
            spacing: 20

            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 10
                Spinner {
                    anchors.verticalCenter: parent.verticalCenter
                    size: 13
                    color: Theme.color("muted")
                    running: view.isScanning && view.visible
                }
                MonoLabel {
                    objectName: "detectingLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Detecting managers\u2026"
                    size: 10
                    weight: Font.Medium
                    tracking: 0.1
                    color: Theme.color("muted")
                }
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 8
                Repeater {
                    objectName: "managerProgress"
                    model: Ui.managerKinds()
                    Row {
                        id: entry
                        required property string modelData
                        readonly property bool done: view.finishedKinds.indexOf(modelData) >= 0
                        objectName: "progress-" + modelData
                        spacing: 4
                        Icon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "checkmark"
                            size: 8
                            color: Theme.color("safe")
                            opacity: entry.done ? 1 : 0
                            Behavior on opacity { NumberAnimation { duration: 160 } }
                        }
                        MonoLabel {
                            anchors.verticalCenter: parent.verticalCenter
                            text: Ui.displayName(entry.modelData)
                            size: 9
                            weight: Font.Medium
                            tracking: 0.1
                            color: entry.done ? Theme.color("text2") : Theme.color("faint")
                        }
                    }
                }
            }
            // One line per manager still measuring, under the names so that they never move.
            Column {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 4
                Repeater {
                    model: Ui.managerKinds()
                    Text {
                        required property string modelData
                        readonly property var count: view.liveCounts[modelData]
                        objectName: "liveCount-" + modelData
                        anchors.horizontalCenter: parent.horizontalCenter
                        visible: view.finishedKinds.indexOf(modelData) < 0 && count !== undefined
                                 && (count.files > 0 || count.note !== "")
                        // The adapter's own words while it searches, then how far it has measured.
                        text: visible ? Ui.displayName(modelData) + " \u00b7 " + (count.note !== "" ? count.note
                                        : AppState.formatFilesAndBytes(count.files, count.bytes)) : ""
                        color: Theme.color("muted")
                        font.family: Theme.mono
                        font.pointSize: Theme.pt(9)
                    }
                }
            }
        }
        PlainButton {
            objectName: "scanButton"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: !view.isScanning
            Accessible.name: "Scan"
            implicitWidth: scanLabel.implicitWidth + 40
            implicitHeight: scanLabel.implicitHeight + 16
            onClicked: view.scan()
            Rectangle {
                anchors.fill: parent
                radius: 6
                color: Theme.color("accent")
            }
            MonoLabel {
                id: scanLabel
                anchors.centerIn: parent
                text: "Scan"
                size: 11
                weight: Font.DemiBold
                tracking: 0.14
                color: Theme.color("accentInk")
            }
        }
    }
}
