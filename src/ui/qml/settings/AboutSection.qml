import QtQuick
import QtQuick.Layouts
import Kelvo

// What the application is, where it runs, and what it never does.
ColumnLayout {
    objectName: "aboutSection"
    Layout.fillWidth: true
    spacing: 8
    SectionTitle {
        text: "About"
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 4
        MonoLabel {
            Layout.fillWidth: true
            text: "Kelvo " + Qt.application.version + " \u00b7 " + Ui.platformLine
            wrapMode: Text.Wrap
            size: 8.5
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("faint")
        }
        MonoLabel {
            Layout.fillWidth: true
            text: "Allowlisted adapters \u2014 no generic exec"
            wrapMode: Text.Wrap
            size: 8.5
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("faint2")
        }
        Text {
            objectName: "aboutText"
            Layout.fillWidth: true
            text: "Read-only analysis. Runs entirely on your machine. Never removes anything \u2014 you run every command yourself."
            wrapMode: Text.Wrap
            color: Theme.color("muted")
            font.family: Theme.display
            font.pointSize: Theme.pt(10)
        }
    }
}
