import QtQuick
import QtQuick.Layouts
import Kelvo

// Sizes in powers of ten or of two.
ColumnLayout {
    objectName: "unitsSection"
    spacing: 8
    SectionTitle {
        text: "Size units"
    }
    Row {
        spacing: 6
        Repeater {
            model: [
                { text: "GB (10\u00b3)", unit: "decimal" },
                { text: "GiB (2\u00b9\u2070)", unit: "binary" }
            ]
            OptionButton {
                required property var modelData
                objectName: "unit_" + modelData.unit
                text: modelData.text
                current: AppState.sizeUnit === modelData.unit
                onClicked: AppState.sizeUnit = modelData.unit
            }
        }
    }
}
