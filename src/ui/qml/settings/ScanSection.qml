import QtQuick
import QtQuick.Layouts
import Kelvo

// When the last scan ran, and a button that scans again.
ColumnLayout {
    id: section
    // The window's scan: the time of its result.
    property ScanController scan: null
    signal rescan()

    // "Last scan 14:05" once a result exists, else "".
    readonly property string lastScanText: section.scan && section.scan.hasResult
        ? "Last scan " + Qt.formatTime(new Date(section.scan.scannedAt * 1000), "HH:mm") : ""

    objectName: "scanSection"
    Layout.fillWidth: true
    spacing: 8
    SectionTitle {
        text: "Scan"
    }
    RowLayout {
        Layout.fillWidth: true
        MonoLabel {
            objectName: "lastScan"
            visible: section.lastScanText !== ""
            text: section.lastScanText
            size: 9
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("muted")
        }
        Item {
            Layout.fillWidth: true
        }
        OutlineButton {
            objectName: "rescanNow"
            text: "Re-scan now"
            textColor: Theme.color("text")
            verticalPadding: 5
            Accessible.name: "Re-scan now"
            onClicked: section.rescan()
        }
    }
}
