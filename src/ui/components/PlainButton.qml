import QtQuick

// An unstyled button: its children are the label; the whole rectangle takes the click.
// Dims while pressed, as plain buttons do.
Item {
    id: button
    signal clicked()
    readonly property bool hovered: area.containsMouse
    readonly property bool pressed: area.pressed
    default property alias content: holder.data

    implicitWidth: holder.childrenRect.width
    implicitHeight: holder.childrenRect.height
    opacity: !enabled ? 0.4 : pressed ? 0.6 : 1

    Item {
        id: holder
        anchors.fill: parent
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
