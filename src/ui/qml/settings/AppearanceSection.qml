import QtQuick
import QtQuick.Layouts
import Kelvo

// The window's theme: dark, light, or the system's.
ColumnLayout {
    objectName: "appearanceSection"
    spacing: 8
    SectionTitle {
        text: "Appearance"
    }
    Row {
        spacing: 6
        Repeater {
            model: [
                { text: "Dark \u2014 Ice", theme: "dark" },
                { text: "Light \u2014 Magma", theme: "light" },
                { text: "System", theme: "system" }
            ]
            OptionButton {
                required property var modelData
                objectName: "theme_" + modelData.theme
                text: modelData.text
                current: AppState.theme === modelData.theme
                onClicked: AppState.theme = modelData.theme
            }
        }
    }
}
