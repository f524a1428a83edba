import QtQuick
import Kelvo

// An unstyled button: its children are the label; the whole rectangle takes the click.
// Dims while pressed, as plain buttons do.
Item {
    id: button
    signal clicked()
    readonly property bool hovered: hover.hovered
    readonly property bool pressed: area.pressed
    default property alias content: holder.data

    implicitWidth: holder.childrenRect.width
    implicitHeight: holder.childrenRect.height
    opacity: !enabled ? 0.4 : pressed ? 0.6 : 1

    // Keyboard and assistive use: Tab reaches it, Space or Enter presses it, and the focus ring
    // shows where the keyboard is. Users name it with Accessible.name.
    activeFocusOnTab: enabled
    Accessible.role: Accessible.Button
    Accessible.focusable: true
    Accessible.onPressAction: button.clicked()
    Keys.onPressed: event => {
        if (!event.isAutoRepeat && (event.key === Qt.Key_Space || event.key === Qt.Key_Return
                                    || event.key === Qt.Key_Enter)) {
            event.accepted = true
            button.clicked()
        }
    }

    Item {
        id: holder
        anchors.fill: parent
    }
    // Drawn clear of the control, so that it shows on an accent fill too; only after keyboard use.
    Rectangle {
        objectName: "focusRing"
        anchors.fill: parent
        anchors.margins: -3.5
        radius: 6
        color: "transparent"
        border.width: 1.5
        border.color: Theme.color("accent")
        visible: FocusRings.shown && button.activeFocus
    }
    // Hover through a handler, which leaves hover to the texts inside too (their full-text tips);
    // a hover-enabled mouse area would take it from them.
    HoverHandler {
        id: hover
        cursorShape: Qt.PointingHandCursor
    }
    MouseArea {
        id: area
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
