import QtQuick
import QtTest
import Kelvo
import "Fixtures.js" as F

// Keys, focus and accessible names of the whole window over a fixture scan.
Item {
    id: top
    width: 1100
    height: 700

    Component {
        id: rootComponent
        RootView {
            width: 1100
            height: 700
            autoScan: false
        }
    }

    TestCase {
        name: "Keyboard"
        when: windowShown

        function command(name) {
            const item = F.item(name, 1e8, "orphanCandidate")
            item.reclaimCommand = "npm uninstall -g " + name
            return item
        }

        function makeRoot(items) {
            const root = createTemporaryObject(rootComponent, top)
            verify(fixture.load(root.scan, F.json([
                F.report("npm", true, items || [command("a"), command("b"), command("c")],
                         { quickWins: [{ title: "t", command: "npm cache clean --force", detail: "d" }] }),
                F.report("bun", false)], { npm: 200 })))
            root.rescan()
            tryCompare(root.scan, "hasResult", true, 5000)
            waitForRendering(root)
            return root
        }

        function test_shortcuts_rescan_and_open_and_close_the_settings() {
            const root = makeRoot()
            keyClick(Qt.Key_R, Qt.ControlModifier)
            verify(root.scan.isScanning)
            tryCompare(root.scan, "hasResult", true, 5000)
            const list = findChild(root, "inventoryList")
            list.forceActiveFocus()
            keyClick(Qt.Key_Comma, Qt.ControlModifier)
            verify(root.showSettings)
            tryVerify(() => findChild(findChild(root, "settingsView"), "closeButton").activeFocus, 1000)
            keyClick(Qt.Key_Escape)
            verify(!root.showSettings)
            tryVerify(() => list.activeFocus, 1000) // back where it was
        }

        function test_arrows_move_through_rows_enter_and_space_toggle_and_copy_takes_the_command() {
            const root = makeRoot()
            const list = findChild(root, "inventoryList")
            list.forceActiveFocus()
            compare(list.currentIndex, 0)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            verify(list.itemAtIndex(1).expanded)
            keyClick(Qt.Key_Up)
            keyClick(Qt.Key_Space)
            verify(list.itemAtIndex(0).expanded)
            verify(!list.itemAtIndex(1).expanded)
            Ui.copyText("")
            keyClick(Qt.Key_C, Qt.ControlModifier)
            compare(Ui.clipboardText(), "npm uninstall -g a")
            keyClick(Qt.Key_Space)
            verify(!list.itemAtIndex(0).expanded)
            Ui.copyText("kept")
            keyClick(Qt.Key_C, Qt.ControlModifier) // nothing expanded: the clipboard is left alone
            compare(Ui.clipboardText(), "kept")
        }

        function test_the_view_follows_the_keyboard_row() {
            const many = []
            for (let i = 0; i < 60; ++i)
                many.push(command("p" + i))
            const root = makeRoot(many)
            const list = findChild(root, "inventoryList")
            list.forceActiveFocus()
            for (let i = 0; i < 25; ++i)
                keyClick(Qt.Key_Down)
            const current = list.currentItem
            verify(current.y >= list.contentY && current.y + current.height <= list.contentY + list.height,
                   "row at " + current.y + ", view at " + list.contentY)
            verify(findChild(current, "keyboardRing").visible)
            verify(!findChild(list.itemAtIndex(24), "keyboardRing").visible)
        }

        function test_tab_reaches_the_buttons_which_show_focus() {
            const root = makeRoot()
            const all = findChild(root, "tab_all")
            all.forceActiveFocus()
            verify(findChild(all, "focusRing").visible)
            keyClick(Qt.Key_Tab)
            verify(findChild(root, "tab_npm").activeFocus)
            verify(!findChild(all, "focusRing").visible)
            keyClick(Qt.Key_Space)
            compare(root.selectedTab, "npm")
            const reach = target => {
                for (let i = 0; i < 12 && !target.activeFocus; ++i)
                    keyClick(Qt.Key_Tab)
                return target.activeFocus
            }
            verify(reach(findChild(root, "copyAllButton")))
            keyClick(Qt.Key_Return)
            compare(Ui.clipboardText(), "npm cache clean --force")
            verify(reach(findChild(root, "inventoryList")))
        }

        function test_every_button_has_an_accessible_name() {
            const root = makeRoot()
            root.showSettings = true
            tryCompare(findChild(root, "settingsView"), "x", root.width - 340, 1000)
            const model = findChild(root, "inventoryList").model
            model.toggleRow(model.rowIdAt(0))
            waitForRendering(root)
            const unnamed = []
            let buttons = 0
            function walk(item) {
                const role = item.Accessible ? item.Accessible.role : 0
                if ((role === Accessible.Button || role === Accessible.CheckBox) && item.visible) {
                    ++buttons
                    if (!item.Accessible.name)
                        unnamed.push(item.objectName || String(item))
                }
                for (let i = 0; i < item.children.length; ++i)
                    walk(item.children[i])
            }
            walk(root)
            verify(buttons > 20, "found " + buttons)
            compare(unnamed, [])
        }
    }
}
