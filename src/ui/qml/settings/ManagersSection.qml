import QtQuick
import QtQuick.Layouts
import Kelvo

// One line per manager: whether it is included, and what the last scan found of it.
ColumnLayout {
    id: section
    // The window's scan: the size of each detected manager.
    property ScanController scan: null

    // The size text of a manager's report, or "" when it has none or it was not detected.
    function managerSize(kind) {
        const bytes = section.scan ? section.scan.detectedTotals[kind] : undefined
        return bytes === undefined ? "" : Theme.bytes(bytes)
    }

    objectName: "managersSection"
    Layout.fillWidth: true
    spacing: 8
    SectionTitle {
        text: "Managers to include"
    }
    Repeater {
        model: Ui.managerKinds()
        RowLayout {
            id: managerRow
            required property string modelData
            readonly property string size: section.managerSize(modelData)
            objectName: "manager_" + modelData
            Layout.fillWidth: true
            spacing: 8
            CheckToggle {
                objectName: "check"
                checked: AppState.enabledManagers.indexOf(managerRow.modelData) >= 0
                Accessible.name: "Include " + Ui.displayName(managerRow.modelData)
                onToggled: on => AppState.setEnabled(managerRow.modelData, on)
            }
            Chip {
                text: Ui.shortLabel(managerRow.modelData)
                color: Theme.color("text2")
                border: Theme.color("hair2")
                fill: Theme.color("surface3")
            }
            Text {
                text: Ui.displayName(managerRow.modelData)
                color: Theme.color("text2")
                font.family: Theme.mono
                font.pointSize: Theme.pt(11)
            }
            Item {
                Layout.fillWidth: true
            }
            MonoLabel {
                objectName: "notDetected"
                visible: managerRow.size === ""
                text: "not detected"
                size: 8.5
                weight: Font.Medium
                tracking: 0.05
                color: Theme.color("faint2")
            }
            Text {
                objectName: "managerSize"
                visible: managerRow.size !== ""
                text: managerRow.size
                color: Theme.color("faint")
                font.family: Theme.mono
                font.pointSize: Theme.pt(10)
            }
        }
    }
}
