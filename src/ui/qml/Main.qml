import QtQuick
import QtQuick.Window
import Kelvo

// The one window.
Window {
    id: window
    // Start a scan when the window first appears (the screenshot driver turns it off).
    property bool autoScan: true

    width: 1200
    height: 780
    minimumWidth: 960
    minimumHeight: 640
    visible: true
    title: "Kelvo"
    color: Theme.color("bg")

    RootView {
        objectName: "rootView"
        anchors.fill: parent
        autoScan: window.autoScan
    }
}
