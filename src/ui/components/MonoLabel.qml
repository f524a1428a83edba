import QtQuick
import Kelvo

// Upper-cased monospaced label with letter-spacing of size × tracking.
Text {
    property real size: 9
    property int weight: Font.Medium
    property real tracking: 0.1
    // What the label shows: the text, upper-cased.
    readonly property string shownText: text.toUpperCase()

    font.family: Theme.mono
    font.pointSize: Theme.pt(size)
    font.weight: weight
    font.letterSpacing: size * tracking
    font.capitalization: Font.AllUppercase
    color: Theme.color("text")
}
