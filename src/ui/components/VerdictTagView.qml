import QtQuick
import Kelvo

// The verdict of an item: a dot and the label in the verdict's colour.
Row {
    id: view
    // "safe", "likelyUnused", "inUse" or "dependency"
    property string tag: "safe"
    readonly property color tagColor: Theme.color(Ui.verdictColorName(tag))
    readonly property string label: Ui.verdictLabel(tag)
    spacing: 6

    TierDot {
        anchors.verticalCenter: parent.verticalCenter
        size: 6
        color: view.tagColor
    }
    MonoLabel {
        anchors.verticalCenter: parent.verticalCenter
        text: view.label
        size: 9
        weight: Font.DemiBold
        tracking: 0.1
        color: view.tagColor
    }
}
