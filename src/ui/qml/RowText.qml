import QtQuick
import QtQuick.Layouts
import Kelvo

// One line of a row's text that gives way before the size at the trailing edge: it takes up to
// its natural width and is elided at the end when the row is too narrow, down to minimumWidth;
// then the whole text shows on hover.
Text {
    id: label
    property real minimumWidth: 0
    // The unelided width: an elided Text reports a smaller implicit width.
    readonly property real naturalWidth: Math.ceil(metrics.advanceWidth) + 1

    Layout.fillWidth: true
    Layout.preferredWidth: naturalWidth
    Layout.maximumWidth: naturalWidth
    Layout.minimumWidth: Math.min(naturalWidth, minimumWidth)
    elide: Text.ElideRight
    maximumLineCount: 1

    HoverHandler {
        id: hover
    }
    FullTextTip {
        shown: hover.hovered && label.truncated
        text: label.text
    }
    TextMetrics {
        id: metrics
        font: label.font
        text: label.text
    }
}
