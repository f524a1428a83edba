import QtQuick
import QtQuick.Dialogs
import QtQuick.Layouts
import Kelvo

// The folders searched for the user's projects: each with a button that removes it, and one
// that adds a folder.
ColumnLayout {
    objectName: "projectFoldersSection"
    Layout.fillWidth: true
    spacing: 8
    SectionTitle {
        text: "Project folders"
    }
    Text {
        Layout.fillWidth: true
        text: Ui.projectFoldersNote(AppState.projectFolders.length)
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
                text: Ui.projectFolderLabel(folderRow.modelData)
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
