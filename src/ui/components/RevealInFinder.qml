import QtQuick
import Kelvo

// Shows the path in the file manager; the path itself is shown home-abbreviated, whole on hover.
// When no file manager answers, the row says so.
PlainButton {
    id: button
    property string path
    property bool failed: false
    Accessible.name: Ui.revealLabel + " " + path
    Accessible.description: failed ? failedText.text : ""
    onPathChanged: failed = false

    // Measured without the row's own width so that eliding the path cannot feed back into it.
    implicitWidth: icon.width + caption.implicitWidth + Math.ceil(pathMetrics.advanceWidth) + 1 + 2 * row.spacing
                   + (failed ? failedText.implicitWidth + row.spacing : 0)
    implicitHeight: row.implicitHeight
    onClicked: {
        failed = false
        Ui.reveal(path)
    }

    Connections {
        target: Ui
        function onRevealFailed(path) {
            if (path === button.path)
                button.failed = true
        }
    }

    TextMetrics {
        id: pathMetrics
        font: pathText.font
        text: pathText.text
    }

    Row {
        id: row
        spacing: 6
        Icon {
            id: icon
            anchors.verticalCenter: parent.verticalCenter
            name: "arrow.up.forward.app"
            size: 10
            color: Theme.color("faint")
        }
        MonoLabel {
            id: caption
            anchors.verticalCenter: parent.verticalCenter
            text: Ui.revealLabel
            size: 9.5
            weight: Font.Medium
            tracking: 0.05
            color: Theme.color("faint")
        }
        Text {
            id: pathText
            objectName: "revealPath"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(0, Math.min(Math.ceil(pathMetrics.advanceWidth) + 1,
                                        button.width - icon.width - caption.implicitWidth - 2 * row.spacing))
            text: Ui.displayText(Ui.abbreviatedPath(button.path))
            elide: Text.ElideMiddle
            maximumLineCount: 1
            color: Theme.color("faint2")
            font.family: Theme.mono
            font.pointSize: Theme.pt(9.5)
            Accessible.name: button.path
            FullTextTip {
                shown: pathHover.hovered && pathText.truncated
                text: Ui.displayText(button.path)
            }
            HoverHandler {
                id: pathHover
            }
        }
        Text {
            id: failedText
            objectName: "revealFailed"
            anchors.verticalCenter: parent.verticalCenter
            visible: button.failed
            text: "No file manager could open it"
            color: Theme.color("caution")
            font.family: Theme.display
            font.pointSize: Theme.pt(9.5)
        }
    }
}
