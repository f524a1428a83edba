import QtQuick
import QtQuick.Window
import Kelvo

// Keeps the keyboard inside `area` while it is open: Tab and Shift+Tab go round its own controls,
// and focus that leaves it comes back in at the other end. takeFocus() moves the keyboard to
// `first`, at once or, when the area is still hidden, as soon as it shows; once the area hides,
// the focus goes back to where it was before.
Item {
    id: trap
    required property Item area
    // Where the keyboard enters: the first control of the area's focus chain.
    required property Item first
    // Whether the area holds the keyboard now; an area that slides out is still visible a while.
    property bool open: area.visible

    property bool focusWhenShown: false
    property Item returnFocus: null
    property Item lastFocusInside: null

    function takeFocus() {
        returnFocus = Window.activeFocusItem
        if (area.visible)
            first.forceActiveFocus()
        else
            focusWhenShown = true
    }
    function contains(item) {
        for (let it = item; it; it = it.parent) {
            if (it === area)
                return true
        }
        return false
    }
    function focusChain() {
        const chain = []
        for (let it = first; it && contains(it) && chain.indexOf(it) < 0; it = it.nextItemInFocusChain(true))
            chain.push(it)
        return chain
    }

    Connections {
        target: trap.area
        function onVisibleChanged() {
            const visible = trap.area.visible
            if (visible && trap.focusWhenShown)
                trap.first.forceActiveFocus()
            trap.focusWhenShown = false
            if (!visible && trap.returnFocus && trap.returnFocus.visible)
                trap.returnFocus.forceActiveFocus()
            if (!visible)
                trap.returnFocus = null
        }
    }
    Connections {
        target: trap.Window.window
        function onActiveFocusItemChanged() {
            const item = trap.Window.activeFocusItem
            if (!trap.open || !item)
                return
            if (trap.contains(item)) {
                trap.lastFocusInside = item
                return
            }
            // After the key's own focus change has finished, or it would land outside again.
            const left = trap.lastFocusInside
            Qt.callLater(() => {
                if (!trap.area.visible || trap.contains(trap.Window.activeFocusItem))
                    return
                const chain = trap.focusChain()
                const forward = left === null || left === chain[chain.length - 1]
                const target = forward ? chain[0] : chain[chain.length - 1]
                if (target)
                    target.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
            })
        }
    }
}
