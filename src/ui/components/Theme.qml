pragma Singleton
import QtQuick
import Kelvo

// Colours by name, the two font families and size texts. Every view colours through
// Theme.color(name); a binding that calls it follows the light/dark switch.
QtObject {
    readonly property bool dark: ThemeData.dark
    readonly property var colors: ThemeData.palette
    readonly property string mono: ThemeData.monoFamily
    readonly property string display: ThemeData.displayFamily

    // Font weights by the names the views use.
    readonly property int regular: Font.Normal
    readonly property int medium: Font.Medium
    readonly property int semibold: Font.DemiBold
    readonly property int bold: Font.Bold

    // Font sizes are given in points of the layout (logical pixels); Qt fonts take typographic
    // points, which the screen's logical DPI turns into pixels.
    function pt(size) {
        return size * ThemeData.pointsPerPixel
    }

    function color(name) {
        const value = colors[name]
        return value === undefined ? "transparent" : value
    }

    // formatBytes under the current size unit (re-evaluated when the unit changes).
    function bytes(n) {
        const unit = AppState.sizeUnit
        return unit.length > 0 ? AppState.formatBytes(n) : ""
    }

    // bytes(n), or "—" for an unknown size.
    function sizeText(n) {
        return (n === null || n === undefined) ? "\u2014" : bytes(n)
    }

    // heat1 … heat4 for a size (unknown: heat4).
    function heat(n) {
        return color(Ui.heatColorName(n === undefined ? null : n))
    }
}
