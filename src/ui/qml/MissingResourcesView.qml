import QtQuick
import QtQuick.Layouts

// What the window shows instead of itself when its resource folder lacks a file it needs. The
// colours and fonts are the missing resources themselves, so this view uses fixed ones.
Item {
    id: view
    property string folder
    property string missing

    Accessible.role: Accessible.AlertMessage
    Accessible.name: title.text + ". " + detail.text + " " + view.folder

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width - 80, 560)
        spacing: 12

        Text {
            id: title
            objectName: "missingTitle"
            Layout.fillWidth: true
            text: "Kelvo cannot start: its resources are missing"
            wrapMode: Text.Wrap
            color: "#1F1A17"
            font.pixelSize: 20
            font.weight: Font.DemiBold
        }
        Text {
            id: detail
            objectName: "missingDetail"
            Layout.fillWidth: true
            text: "It looked for its colours, fonts and knowledge base in this folder and found no "
                  + view.missing + " there:"
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "#4A403A"
            font.pixelSize: 14
        }
        Text {
            objectName: "missingFolder"
            Layout.fillWidth: true
            text: view.folder
            textFormat: Text.PlainText
            wrapMode: Text.WrapAnywhere
            color: "#1F1A17"
            font.family: "monospace"
            font.pixelSize: 13
        }
        Text {
            Layout.fillWidth: true
            text: "Reinstall Kelvo to put them back."
            color: "#4A403A"
            font.pixelSize: 14
        }
    }
}
