import QtQuick
import Kelvo

// Puts `text` on the clipboard and shows "COPIED" for 1.4 seconds. Every press starts its own
// reset timer and nothing cancels one, so a second press while "COPIED" shows keeps it until
// 1.4 seconds after the first press.
PlainButton {
    id: button
    property string text
    property color tint: Theme.color("copyInk")
    property string label: "COPY"
    property bool copied: false
    readonly property color foreground: copied ? Theme.color("safe") : tint
    Accessible.name: "Copy " + text

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight
    onClicked: copy()

    // Nothing to copy leaves the clipboard as it is: the user may still need what is there.
    function copy() {
        if (text === "")
            return
        Ui.copyText(text)
        copied = true
        resetTimer.createObject(button)
    }

    Component {
        id: resetTimer
        Timer {
            interval: 1400
            running: true
            onTriggered: {
                button.copied = false
                destroy()
            }
        }
    }

    Row {
        id: row
        spacing: 5
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            name: button.copied ? "checkmark" : "doc.on.doc"
            size: 9
            color: button.foreground
        }
        MonoLabel {
            anchors.verticalCenter: parent.verticalCenter
            text: button.copied ? "COPIED" : button.label
            size: 9
            weight: Font.DemiBold
            tracking: 0.1
            color: button.foreground
        }
    }
}
