import QtQuick
import QtQuick.Layouts
import Kelvo

// Where feature requests go.
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
