import QtQuick
import Kelvo

// The window's keyboard commands: re-scan, open and close the settings. "Ctrl" is the Command
// key on macOS.
Item {
    id: keys
    property bool settingsShown: false
    signal rescan()
    signal openSettings()
    signal closeSettings()

    Shortcut {
        objectName: "rescanShortcut"
        sequence: "Ctrl+R"
        context: Qt.WindowShortcut
        onActivated: keys.rescan()
    }
    Shortcut {
        objectName: "settingsShortcut"
        sequence: "Ctrl+,"
        context: Qt.WindowShortcut
        onActivated: keys.openSettings()
    }
    Shortcut {
        objectName: "closeSettingsShortcut"
        sequence: "Esc"
        context: Qt.WindowShortcut
        enabled: keys.settingsShown
        onActivated: keys.closeSettings()
    }
}
