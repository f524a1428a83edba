import QtQuick
import QtQuick.Window
import Kelvo

// The one window.
Window {
    id: window
    // Start a scan when the window first appears (the screenshot driver turns it off).
    property bool autoScan: true
    // Set when a file the window needs is not in its resource folder: then it says so, and nothing
    // else happens.
    property string missingResource: ""
    property string resourceFolder: ""

    width: 1200
    height: 780
    minimumWidth: 960
    minimumHeight: 640
    visible: true
    title: "Kelvo"
    color: missingResource === "" ? Theme.color("bg") : "#F4F1EE"

    RootView {
        objectName: "rootView"
        anchors.fill: parent
        visible: window.missingResource === ""
        autoScan: window.autoScan && window.missingResource === ""
    }
    MissingResourcesView {
        objectName: "missingResources"
        anchors.fill: parent
        visible: window.missingResource !== ""
        folder: window.resourceFolder
        missing: window.missingResource
    }
}
