import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Dialogs
import QtQuick.Layouts
import QtQuick.Window
import Kelvo

// The settings sheet that slides in over the trailing edge: appearance, size units, the
// managers to include, re-scan, updates and what the application is. Every change goes to
// AppState (or the Updater) at once; there is nothing to apply or cancel.
Rectangle {
    id: sheet
    // The window's scan: the time of its result and the size of each detected manager.
    property ScanController scan: null
    signal rescan()
    signal close()

    color: Theme.color("surface")

    // "Last scan 14:05" once a result exists, else "".
    readonly property string lastScanText: sheet.scan && sheet.scan.hasResult
        ? "Last scan " + Qt.formatTime(new Date(sheet.scan.scannedAt * 1000), "HH:mm") : ""

    // The size text of a manager's report, or "" when it has none or it was not detected.
    function managerSize(kind) {
        const bytes = sheet.scan ? sheet.scan.detectedTotals[kind] : undefined
        return bytes === undefined ? "" : Theme.bytes(bytes)
    }

    // Moves keyboard focus into the sheet (the close button). The sheet is still off screen
    // when it is asked to open, so the focus follows once it becomes visible.
    // On closing, the focus goes back to where it was before.
    property bool focusWhenShown: false
    property Item returnFocus: null
    function takeFocus() {
        returnFocus = Window.activeFocusItem
        if (visible)
            closeButton.forceActiveFocus()
        else
            focusWhenShown = true
    }
    onVisibleChanged: {
        if (visible && focusWhenShown)
            closeButton.forceActiveFocus()
        focusWhenShown = false
        if (!visible && returnFocus && returnFocus.visible)
            returnFocus.forceActiveFocus()
        if (!visible)
            returnFocus = null
    }

    // While the sheet is open, Tab and Shift+Tab go round its own controls: focus that leaves it
    // comes back in at the other end.
    property Item lastFocusInside: null
    function contains(item) {
        for (let it = item; it; it = it.parent) {
            if (it === sheet)
                return true
        }
        return false
    }
    function focusChain() {
        const chain = []
        for (let it = closeButton; it && contains(it) && chain.indexOf(it) < 0; it = it.nextItemInFocusChain(true))
            chain.push(it)
        return chain
    }
    Connections {
        target: sheet.Window.window
        function onActiveFocusItemChanged() {
            const item = sheet.Window.activeFocusItem
            if (!sheet.visible || sheet.x >= sheet.parent.width || !item)
                return
            if (sheet.contains(item)) {
                sheet.lastFocusInside = item
                return
            }
            // After the key's own focus change has finished, or it would land outside again.
            const left = sheet.lastFocusInside
            Qt.callLater(() => {
                if (!sheet.visible || sheet.contains(sheet.Window.activeFocusItem))
                    return
                const chain = sheet.focusChain()
                const forward = left === null || left === chain[chain.length - 1]
                const target = forward ? chain[0] : chain[chain.length - 1]
                if (target)
                    target.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
            })
        }
    }

    Accessible.role: Accessible.Pane
    Accessible.name: "Settings"

    // A choice of appearance or size unit, filled with the accent while it is the current one.
    component OptionButton: PlainButton {
        id: option
        property string text
        property bool current: false
        implicitWidth: optionLabel.implicitWidth + 18
        implicitHeight: optionLabel.implicitHeight + 10
        Accessible.name: option.text
        Accessible.checkable: true
        Accessible.checked: option.current
        Rectangle {
            anchors.fill: parent
            radius: 4
            color: option.current ? Theme.color("accent") : "transparent"
            border.width: 1
            border.color: option.current ? "transparent" : Theme.color("hair")
        }
        MonoLabel {
            id: optionLabel
            anchors.centerIn: parent
            text: option.text
            size: 9
            weight: Font.DemiBold
            tracking: 0.05
            color: option.current ? Theme.color("accentInk") : Theme.color("muted")
        }
    }

    // A checkbox without a label of its own.
    component CheckToggle: PlainButton {
        id: check
        property bool checked: false
        signal toggled(bool checked)
        implicitWidth: 14
        implicitHeight: 14
        Accessible.role: Accessible.CheckBox
        Accessible.checkable: true
        Accessible.checked: check.checked
        onClicked: toggled(!checked)
        Rectangle {
            anchors.fill: parent
            radius: 3
            color: check.checked ? Theme.color("accent") : "transparent"
            border.width: 1
            border.color: check.checked ? Theme.color("accent") : Theme.color("hair2")
        }
        Icon {
            anchors.centerIn: parent
            visible: check.checked
            name: "checkmark"
            size: 10
            color: Theme.color("accentInk")
        }
    }

    // A small on/off switch.
    component MiniSwitch: PlainButton {
        id: toggle
        property bool checked: false
        signal toggled(bool checked)
        implicitWidth: 24
        implicitHeight: 14
        Accessible.role: Accessible.CheckBox
        Accessible.checkable: true
        Accessible.checked: toggle.checked
        onClicked: toggled(!checked)
        Rectangle {
            anchors.fill: parent
            radius: height / 2
            color: toggle.checked ? Theme.color("accent") : Theme.color("surface3")
            border.width: 1
            border.color: toggle.checked ? Theme.color("accent") : Theme.color("hair2")
        }
        Rectangle {
            width: 10
            height: 10
            radius: 5
            y: 2
            x: toggle.checked ? toggle.width - width - 2 : 2
            color: toggle.checked ? Theme.color("accentInk") : Theme.color("muted")
            Behavior on x {
                NumberAnimation {
                    duration: 120
                }
            }
        }
    }

    component SectionTitle: MonoLabel {
        size: 8.5
        weight: Font.Medium
        tracking: 0.2
        color: Theme.color("faint")
    }

    // Swallow clicks so that nothing under the sheet reacts.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
        onWheel: wheel => wheel.accepted = true
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item {
            Layout.fillWidth: true
            implicitHeight: 42
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 16
                MonoLabel {
                    text: "Settings"
                    size: 10
                    weight: Font.DemiBold
                    tracking: 0.2
                    color: Theme.color("text")
                }
                Item {
                    Layout.fillWidth: true
                }
                PlainButton {
                    id: closeButton
                    objectName: "closeButton"
                    implicitWidth: 18
                    implicitHeight: 18
                    Accessible.name: "Close settings"
                    onClicked: sheet.close()
                    Icon {
                        anchors.centerIn: parent
                        name: "xmark"
                        size: 11
                        color: Theme.color("muted")
                    }
                }
            }
        }
        Hairline {
            Layout.fillWidth: true
            color: Theme.color("hair")
        }
        ScrollView {
            id: scroller
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            contentHeight: sections.implicitHeight + 32
            ScrollBar.vertical: ThemedScrollBar {
                parent: scroller
                x: scroller.width - width - 2
                y: 2
                height: scroller.height - 4
            }
            ColumnLayout {
                id: sections
                objectName: "sections"
                x: 16
                y: 16
                width: scroller.availableWidth - 32
                spacing: 20

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

                ColumnLayout {
                    objectName: "managersSection"
                    Layout.fillWidth: true
                    spacing: 8
                    SectionTitle {
                        text: "Managers to include"
                    }
                    Repeater {
                        model: Ui.managerKinds()
                        RowLayout {
                            id: managerRow
                            required property string modelData
                            readonly property string size: sheet.managerSize(modelData)
                            objectName: "manager_" + modelData
                            Layout.fillWidth: true
                            spacing: 8
                            CheckToggle {
                                objectName: "check"
                                checked: AppState.enabledManagers.indexOf(managerRow.modelData) >= 0
                                Accessible.name: "Include " + Ui.displayName(managerRow.modelData)
                                onToggled: on => AppState.setEnabled(managerRow.modelData, on)
                            }
                            Chip {
                                text: Ui.shortLabel(managerRow.modelData)
                                color: Theme.color("text2")
                                border: Theme.color("hair2")
                                fill: Theme.color("surface3")
                            }
                            Text {
                                text: Ui.displayName(managerRow.modelData)
                                color: Theme.color("text2")
                                font.family: Theme.mono
                                font.pointSize: Theme.pt(11)
                            }
                            Item {
                                Layout.fillWidth: true
                            }
                            MonoLabel {
                                objectName: "notDetected"
                                visible: managerRow.size === ""
                                text: "not detected"
                                size: 8.5
                                weight: Font.Medium
                                tracking: 0.05
                                color: Theme.color("faint2")
                            }
                            Text {
                                objectName: "managerSize"
                                visible: managerRow.size !== ""
                                text: managerRow.size
                                color: Theme.color("faint")
                                font.family: Theme.mono
                                font.pointSize: Theme.pt(10)
                            }
                        }
                    }
                }

                ColumnLayout {
                    objectName: "projectFoldersSection"
                    Layout.fillWidth: true
                    spacing: 8
                    SectionTitle {
                        text: "Project folders"
                    }
                    Text {
                        Layout.fillWidth: true
                        text: AppState.projectFolders.length > 0
                              ? "Searched for your projects' node_modules; hidden folders are skipped."
                              : "No folder: your projects are not searched."
                        wrapMode: Text.Wrap
                        color: Theme.color("faint")
                        font.family: Theme.display
                        font.pointSize: Theme.pt(10)
                    }
                    Repeater {
                        model: AppState.projectFolders
                        RowLayout {
                            id: folderRow
                            required property string modelData
                            objectName: "projectFolder"
                            Layout.fillWidth: true
                            spacing: 8
                            RowText {
                                objectName: "folderPath"
                                readonly property string shown: Ui.abbreviatedPath(folderRow.modelData)
                                text: shown === "~" ? "~ (your home folder)" : shown
                                elide: Text.ElideMiddle
                                color: Theme.color("text2")
                                font.family: Theme.mono
                                font.pointSize: Theme.pt(10.5)
                            }
                            Item {
                                Layout.fillWidth: true
                            }
                            PlainButton {
                                objectName: "removeFolder"
                                implicitWidth: 18
                                implicitHeight: 18
                                Accessible.name: "Remove " + folderRow.modelData
                                onClicked: AppState.removeProjectFolder(folderRow.modelData)
                                Icon {
                                    anchors.centerIn: parent
                                    name: "xmark"
                                    size: 9
                                    color: parent.hovered ? Theme.color("text") : Theme.color("muted")
                                }
                            }
                        }
                    }
                    OutlineButton {
                        objectName: "addFolder"
                        text: "Add folder\u2026"
                        textColor: Theme.color("text")
                        verticalPadding: 5
                        Accessible.name: "Add a project folder"
                        onClicked: folderDialog.open()
                    }
                    FolderDialog {
                        id: folderDialog
                        title: "Add a folder to search for projects"
                        onAccepted: AppState.addProjectFolder(folderDialog.selectedFolder)
                    }
                }

                ColumnLayout {
                    objectName: "scanSection"
                    Layout.fillWidth: true
                    spacing: 8
                    SectionTitle {
                        text: "Scan"
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        MonoLabel {
                            objectName: "lastScan"
                            visible: sheet.lastScanText !== ""
                            text: sheet.lastScanText
                            size: 9
                            weight: Font.Medium
                            tracking: 0.05
                            color: Theme.color("muted")
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        OutlineButton {
                            objectName: "rescanNow"
                            text: "Re-scan now"
                            textColor: Theme.color("text")
                            verticalPadding: 5
                            Accessible.name: "Re-scan now"
                            onClicked: sheet.rescan()
                        }
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 8
                    SectionTitle {
                        text: "Feature requests"
                    }
                    Text {
                        Layout.fillWidth: true
                        text: "Submit and upvote feature requests."
                        wrapMode: Text.Wrap
                        color: Theme.color("faint")
                        font.family: Theme.display
                        font.pointSize: Theme.pt(10)
                    }
                }

                ColumnLayout {
                    objectName: "updatesSection"
                    Layout.fillWidth: true
                    spacing: 8
                    SectionTitle {
                        text: "Updates"
                    }
                    Text {
                        objectName: "updatesFromPackage"
                        Layout.fillWidth: true
                        visible: !Updater.available
                        text: "Kelvo " + Qt.application.version + ". Updates come from the package Kelvo was installed from."
                        wrapMode: Text.Wrap
                        color: Theme.color("muted")
                        font.family: Theme.display
                        font.pointSize: Theme.pt(10)
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        visible: Updater.available
                        MonoLabel {
                            text: "Kelvo " + Qt.application.version
                            size: 9
                            weight: Font.Medium
                            tracking: 0.05
                            color: Theme.color("muted")
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        OutlineButton {
                            objectName: "checkForUpdates"
                            text: "Check for Updates\u2026"
                            textColor: Theme.color("text")
                            verticalPadding: 5
                            enabled: Updater.canCheckForUpdates
                            Accessible.name: "Check for Updates\u2026"
                            onClicked: Updater.checkForUpdates()
                        }
                    }
                    RowLayout {
                        visible: Updater.available
                        spacing: 8
                        MiniSwitch {
                            objectName: "autoCheck"
                            checked: Updater.automaticallyChecksForUpdates
                            Accessible.name: "Check for updates automatically"
                            onToggled: on => Updater.automaticallyChecksForUpdates = on
                        }
                        MonoLabel {
                            text: "Check for updates automatically"
                            size: 8.5
                            weight: Font.Medium
                            tracking: 0.05
                            color: Theme.color("faint2")
                        }
                    }
                }

                ColumnLayout {
                    objectName: "aboutSection"
                    Layout.fillWidth: true
                    spacing: 8
                    SectionTitle {
                        text: "About"
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4
                        MonoLabel {
                            Layout.fillWidth: true
                            text: "Kelvo " + Qt.application.version + " \u00b7 " + Ui.platformLine
                            wrapMode: Text.Wrap
                            size: 8.5
                            weight: Font.Medium
                            tracking: 0.05
                            color: Theme.color("faint")
                        }
                        MonoLabel {
                            Layout.fillWidth: true
                            text: "Allowlisted adapters \u2014 no generic exec"
                            wrapMode: Text.Wrap
                            size: 8.5
                            weight: Font.Medium
                            tracking: 0.05
                            color: Theme.color("faint2")
                        }
                        Text {
                            objectName: "aboutText"
                            Layout.fillWidth: true
                            text: "Read-only analysis. Runs entirely on your machine. Never removes anything \u2014 you run every command yourself."
                            wrapMode: Text.Wrap
                            color: Theme.color("muted")
                            font.family: Theme.display
                            font.pointSize: Theme.pt(10)
                        }
                    }
                }
            }
        }
    }

    Hairline {
        vertical: true
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        width: 1
        color: Theme.color("hair")
    }
}
