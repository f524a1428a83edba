import QtQuick
import Kelvo

// The small upper-case title over a group of settings.
MonoLabel {
    size: 8.5
    weight: Font.Medium
    tracking: 0.2
    color: Theme.color("faint")
}
