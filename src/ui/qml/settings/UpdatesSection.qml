import QtQuick
import QtQuick.Layouts
import Kelvo

// The version, and how it is updated: by the package it came from, or by the Updater where the
// platform has one (a button and the automatic check).
ColumnLayout {
    objectName: "updatesSection"
    Layout.fillWidth: true
    spacing: 8
    SectionTitle {
        text: "Updates"
    }
    Text {
        objectName: "updatesFromPackage"
        Layout.fillWidth: true
        visible: !Updater.available
        text: "Kelvo " + Qt.application.version + ". Updates come from the package Kelvo was installed from."
        wrapMode: Text.Wrap
        color: Theme.color("muted")
        font.family: Theme.display
        font.pointSize: Theme.pt(10)
    }
    RowLayout {
        Layout.fillWidth: true
        visible: Updater.available
        MonoLabel {
            text: "Kelvo " + Qt.application.version
            size: 9
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("muted")
        }
        Item {
            Layout.fillWidth: true
        }
        OutlineButton {
            objectName: "checkForUpdates"
            text: "Check for Updates\u2026"
            textColor: Theme.color("text")
            verticalPadding: 5
            enabled: Updater.canCheckForUpdates
            Accessible.name: "Check for Updates\u2026"
            onClicked: Updater.checkForUpdates()
        }
    }
    RowLayout {
        visible: Updater.available
        spacing: 8
        MiniSwitch {
            objectName: "autoCheck"
            checked: Updater.automaticallyChecksForUpdates
            Accessible.name: "Check for updates automatically"
            onToggled: on => Updater.automaticallyChecksForUpdates = on
        }
        MonoLabel {
            text: "Check for updates automatically"
            size: 8.5
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("faint2")
        }
    }
}
