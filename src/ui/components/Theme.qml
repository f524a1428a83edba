pragma Singleton
import QtQuick
import Kelvo

// Colours by name, the two font families and size texts. Every view colours through
// Theme.color(name); a binding that calls it follows the light/dark switch.
QtObject {
    readonly property var colors: ThemeData.palette
    readonly property string mono: ThemeData.monoFamily
    readonly property string display: ThemeData.displayFamily

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
}
