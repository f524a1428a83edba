import QtQuick
import QtTest
import Kelvo

// Keys, focus, layout and accessible names of the window over a fixture scan, and the rows under
// names straight from a disk or a tool.
Item {
    id: top
    width: 1100
    height: 700

    Component {
        id: rootComponent
        RootView { width: 1100; height: 700; autoScan: false }
    }
    Component {
        id: mainComponent
        Main { visible: false }
    }
    Component {
        id: itemComponent
        ItemRowView {
            width: 700
            tag: "safe"; barColor: "safe"; chip: "npm"; sizeText: "22 MB"; heat: "heat2"
            evidence: []; verdictText: "x"; reclaimCommand: ""; path: ""; expanded: false
        }
    }

    TestCase {
        name: "Window"
        when: windowShown

        function cleanup() { // settings are the application's, shared by every test
            for (const kind of Ui.managerKinds())
                AppState.setEnabled(kind, true)
        }

        // npm with `count` orphans p0, p1, … of one size, each with its command, and one quick win
        // unless `wins` is given; bun not detected; then `others` as they are.
        function makeRoot(count, wins, others) {
            const items = []
            for (let i = 0; i < count; ++i)
                items.push({ name: "p" + i, bytes: 1e8, tier: "orphanCandidate", reclaimCommand: "npm uninstall -g p" + i })
            const root = createTemporaryObject(rootComponent, top)
            verify(fixture.load(root.scan, JSON.stringify({ delaysMs: { npm: 200 }, managers: [
                { kind: "npm", items: items,
                  quickWins: wins || [{ title: "t", command: "npm cache clean --force", detail: "d" }] },
                { kind: "bun", detected: false }].concat(others || []) })))
            root.rescan()
            tryCompare(root.scan, "hasResult", true, 5000)
            waitForRendering(root)
            return root
        }

        // The visible descendants of `item`, itself included, for which `wanted` holds.
        function descendants(item, wanted) {
            let found = item.visible && wanted(item) ? [item] : []
            for (let i = 0; i < item.children.length; ++i)
                found = found.concat(descendants(item.children[i], wanted))
            return found
        }

        function test_shortcuts_rescan_and_open_the_settings_which_keep_the_keyboard_inside_until_closed() {
            const root = makeRoot(3)
            keyClick(Qt.Key_R, Qt.ControlModifier)
            verify(root.scan.isScanning)
            tryCompare(root.scan, "hasResult", true, 5000)
            const list = findChild(root, "inventoryList")
            list.forceActiveFocus()
            keyClick(Qt.Key_Comma, Qt.ControlModifier)
            verify(root.showSettings)
            const sheet = findChild(root, "settingsView"), close = findChild(sheet, "closeButton")
            tryVerify(() => close.activeFocus, 1000)
            const inside = () => { for (let it = root.Window.activeFocusItem; it; it = it.parent) if (it === sheet) return true; return false }
            const seen = new Set()
            for (let i = 0; i < 30; ++i) {
                keyClick(Qt.Key_Tab)
                verify(inside(), "Tab " + i + " left the sheet for " + root.Window.activeFocusItem)
                seen.add(root.Window.activeFocusItem)
            }
            verify(seen.size >= 8 && seen.has(close), "went round " + seen.size)
            close.forceActiveFocus()
            keyClick(Qt.Key_Backtab)
            verify(inside() && root.Window.activeFocusItem !== close)
            keyClick(Qt.Key_Escape)
            verify(!root.showSettings)
            tryVerify(() => list.activeFocus, 1000) // back where it was
        }

        function test_rows_follow_the_arrows_toggle_on_enter_and_space_and_copy_the_command() {
            const list = findChild(makeRoot(60), "inventoryList")
            list.forceActiveFocus()
            compare(list.currentIndex, 0)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            verify(list.itemAtIndex(1).expanded)
            keyClick(Qt.Key_Up)
            keyClick(Qt.Key_Space)
            verify(list.itemAtIndex(0).expanded && !list.itemAtIndex(1).expanded)
            const line = () => findChild(list.itemAtIndex(0), "collapsedLine")
            compare(line().Accessible.name, "Collapse p0") // what a press does
            keyClick(Qt.Key_C, Qt.ControlModifier)
            compare(Ui.clipboardText(), "npm uninstall -g p0")
            verify(findChild(list.itemAtIndex(0), "copyButton").copied, "the same confirmation as the copy button")
            fixture.holdKey(list, Qt.Key_Space) // toggles once
            verify(!list.itemAtIndex(0).expanded)
            compare(line().Accessible.name, "Expand p0")
            Ui.copyText("kept")
            keyClick(Qt.Key_C, Qt.ControlModifier) // nothing expanded: the clipboard is left alone
            compare(Ui.clipboardText(), "kept")
            // The view scrolls with the keyboard row, which alone shows its ring.
            for (let i = 0; i < 25; ++i)
                keyClick(Qt.Key_Down)
            const current = list.currentItem
            verify(current.y >= list.contentY && current.y + current.height <= list.contentY + list.height,
                   "row at " + current.y + ", view at " + list.contentY)
            verify(findChild(current, "keyboardRing").visible)
            verify(!findChild(list.itemAtIndex(24), "keyboardRing").visible)
        }

        // The headline counts what the user included, in the unit chosen; the rail takes 40 %.
        function test_the_rail_follows_the_size_unit_and_the_included_managers() {
            const root = makeRoot(3, [], [{ kind: "nvm", version: "0.39\u202e", items: [{ name: "v1.0.0", bytes: 5e8, tier: "orphanCandidate" }] }])
            const big = findChild(root, "bigNumber"), rail = findChild(root, "leftRail"), list = findChild(root, "inventoryList")
            compare(big.text, "~800")
            compare(rail.width, root.width * 0.4) // beside the list, which takes the rest
            compare(list.mapToItem(root, 0, 0).x, rail.width + 1)
            compare(list.mapToItem(root, list.width, 0).x, root.width)
            const note = () => findChild(findChild(root, "cardsColumn").children[0], "note") // nvm's, the larger
            compare(findChild(findChild(root, "cardsColumn").children[0], "version").text, "0.39\\u202e", "escaped")
            compare(note().text, "+500 MB reclaimable")
            AppState.sizeUnit = "binary"
            tryCompare(big, "text", "~762.9")
            compare(note().text, "+476.8 MB reclaimable")
            AppState.sizeUnit = "decimal"
            AppState.setEnabled("nvm", false)
            tryCompare(big, "text", "~300")
        }

        function test_tab_reaches_the_buttons_and_rings_show_for_the_keyboard_only() {
            const root = makeRoot(3, undefined, [{ kind: "pnpm", quickWins: [{ title: "t", command: "pnpm store prune", detail: "d" }] }])
            const all = findChild(root, "tab_all"), npm = findChild(root, "tab_npm")
            mouseClick(all)
            all.forceActiveFocus()
            verify(!findChild(all, "focusRing").visible, "no ring while the mouse is in use")
            keyClick(Qt.Key_Tab)
            verify(npm.activeFocus && findChild(npm, "focusRing").visible && !findChild(all, "focusRing").visible)
            keyClick(Qt.Key_Space)
            compare(root.selectedTab, "npm")
            mouseClick(all)
            verify(npm.activeFocus && !findChild(npm, "focusRing").visible, "a click hides the ring")
            compare(root.selectedTab, "")
            const reach = target => {
                for (let i = 0; i < 12 && !target.activeFocus; ++i)
                    keyClick(Qt.Key_Tab)
                return target.activeFocus
            }
            const copyAll = findChild(root, "copyAllButton")
            verify(reach(copyAll))
            keyClick(Qt.Key_Return)
            compare(Ui.clipboardText(), "npm cache clean --force\npnpm store prune")
            verify(copyAll.copied, "the same confirmation as a row's copy button")
            root.selectedTab = "npm" // the commands of the quick wins shown
            mouseClick(copyAll)
            compare(Ui.clipboardText(), "npm cache clean --force")
            const list = findChild(root, "inventoryList")
            verify(reach(list))
            keyClick(Qt.Key_Down)
            verify(findChild(list.currentItem, "keyboardRing").visible)
            // A filter of the list's header takes the keyboard: its ring alone shows.
            verify(reach(findChild(root, "filter_all")) || reach(findChild(root, "filter_all")))
            compare(findChild(list.currentItem, "keyboardRing").visible, false)
        }

        function test_empty_lists_say_why_and_a_turned_off_selection_falls_back_to_all() {
            const root = makeRoot(3, [], [{ kind: "pnpm", items: [] }])
            const empty = findChild(root, "emptyState"), title = findChild(root, "emptyTitle")
            verify(!empty.visible)
            const copyAll = findChild(root, "copyAllButton") // no quick wins: nothing to copy
            Ui.copyText("kept")
            mouseClick(copyAll)
            copyAll.copy()
            verify(!copyAll.enabled && Ui.clipboardText() === "kept", Ui.clipboardText())
            root.selectedTab = "pnpm"
            tryVerify(() => empty.visible)
            compare(title.text, "pnpm holds nothing to list")
            root.selectedTab = "npm"
            const inventory = findChild(root, "inventoryPanel").inventory
            inventory.verdictFilter = "safeByDesign"
            tryCompare(title, "text", "Nothing safe in npm")
            verify(!findChild(root, "sortLine").visible, "no bare SHOWING 0 OF 0")
            inventory.verdictFilter = ""
            AppState.setEnabled("npm", false)
            compare(root.selectedTab, "", "falls back to all managers")
            for (const kind of Ui.managerKinds())
                AppState.setEnabled(kind, false)
            tryCompare(title, "text", "No managers included")
            verify(!findChild(root, "cardsColumn").visible, "no cards, no room kept for them")
            compare(findChild(makeRoot(0), "bigNumber").text, "Nothing reclaimable")
        }

        // A series holding the default keeps it, and what a project pins; each version that may go
        // shows how, copyable.
        function test_a_group_keeps_the_default_and_shows_each_removal_command() {
            const node = (name, tier) => ({ name: name, bytes: 5e7, tier: tier,
                evidence: tier === "signalOnly" ? [] : [{ kind: "notDefaultVersion", defaultVersion: "v20.11.1" }],
                reclaimCommand: tier === "signalOnly" ? null : "nvm uninstall " + name })
            const pinned = { name: "v20.1.0", bytes: 5e7, tier: "signalOnly",
                evidence: [{ kind: "pinnedByProject", project: "~/work/api" }] }
            const root = makeRoot(0, [], [{ kind: "nvm", items: [node("v20.18.0", "orphanCandidate"),
                node("v20.11.1", "signalOnly"), node("v20.5.0", "orphanCandidate"), pinned] }])
            const list = findChild(root, "inventoryList")
            findChild(root, "inventoryPanel").inventory.verdictFilter = "orphanCandidate" // filed under what may go, not under its default
            compare(list.count, 1)
            const group = list.itemAtIndex(0)
            compare(findChild(group, "verdictTag").tag, "likelyUnused")
            mouseClick(findChild(group, "collapsedLine"))
            tryVerify(() => findChild(group, "keepLine") !== null)
            compare(group.keepName, "v20.11.1") // its line is the inventory test's
            const blocks = descendants(group, item => item.objectName === "supersededCommand")
            compare(blocks.filter(block => block.visible).map(block => block.command),
                    ["nvm uninstall v20.18.0", "nvm uninstall v20.5.0"])
            compare(descendants(group, item => item.objectName === "pinnedLine" && item.visible).map(line => line.text),
                    ["Pinned by ~/work/api"])
            mouseClick(findChild(blocks[1], "copyButton"))
            compare(Ui.clipboardText(), "nvm uninstall v20.5.0")
        }

        // Too narrow for its tabs, the strip scrolls to the tab selected from the rail, and with a
        // mouse's wheel.
        function test_the_narrow_tab_strip_shows_the_selected_tab_and_turns_with_the_wheel() {
            const root = makeRoot(1, [], Ui.managerKinds().filter(kind => kind !== "npm" && kind !== "bun").map(
                kind => ({ kind: kind, items: [{ name: "x", bytes: 1e6, tier: "signalOnly" }] })))
            root.width = 800
            const strip = findChild(root, "managerTabs")
            verify(strip.contentWidth > strip.width, "the strip overflows")
            const last = Ui.managerKinds()[Ui.managerKinds().length - 1]
            root.selectedTab = last
            tryVerify(() => {
                const tab = findChild(strip, "tab_" + last)
                const x = tab.mapToItem(strip, 0, 0).x
                return x >= 0 && x + tab.width <= strip.width
            })
            root.selectedTab = ""
            tryCompare(strip, "contentX", 0)
            mouseWheel(strip, 100, strip.height / 2, 0, -120)
            verify(strip.contentX > 0, "the wheel moved it")
        }

        function test_without_its_resources_the_window_says_where_it_looked_and_scans_nothing() {
            const window = createTemporaryObject(mainComponent, top,
                { missingResource: "colors.json", resourceFolder: "/opt/kelvo/share/kelvo" })
            const message = findChild(window.contentItem, "missingResources")
            verify(message.visible && !findChild(window.contentItem, "rootView").visible)
            compare(findChild(message, "missingFolder").text, "/opt/kelvo/share/kelvo")
            verify(findChild(message, "missingDetail").text.includes("colors.json"))
            const scan = findChild(window.contentItem, "rootView").scan
            wait(200) // a scan would have started by now
            verify(!scan.isScanning && !scan.hasResult, "nothing is scanned")
        }

        // Over the open settings and an expanded row, every button is named. The folders searched for
        // projects: shown, removed; the source turned off.
        function test_every_button_is_named_and_the_settings_hold_the_project_folders_and_source() {
            const root = makeRoot(3)
            root.showSettings = true
            const sheet = findChild(root, "settingsView"), inventory = findChild(root, "inventoryPanel").inventory
            tryCompare(sheet, "x", root.width - 340, 1000)
            inventory.toggleRow(inventory.rows.rowIdAt(0))
            waitForRendering(root)
            const buttons = descendants(root, item => [Accessible.Button, Accessible.CheckBox].includes(item.Accessible ? item.Accessible.role : 0))
            verify(buttons.length > 20, "found " + buttons.length)
            compare(buttons.filter(item => !item.Accessible.name).map(item => item.objectName || String(item)), [])
            const before = AppState.projectFolders
            tryCompare(findChild(sheet, "folderPath"), "text", "~ (your home folder)")
            mouseClick(findChild(sheet, "removeFolder"))
            compare(AppState.projectFolders, [])
            AppState.projectFolders = before
            mouseClick(findChild(findChild(sheet, "manager_projects"), "check"))
            verify(!AppState.isEnabled("projects"))
        }

        // Collapsed: one line as high as a plain row, the tag column at 118 and the size at the
        // trailing edge; expanded: the command block and the reveal button inside the row.
        function test_hostile_names_keep_the_row_shape() {
            const names = [
                "new\nline\nthree", "cr\rreturn", "tab\tbed", "\u001b[31mred\u001b[0m", "\u001b]0;title\u0007",
                "rlo\u202egnp.exe", "isolate\u2066x\u2069", "sep\u2028line\u2029para", "nel\u0085line",
                "invalid\ufffd\ufffdutf8", "lone\ud800surrogate", "$(touch PWNED)", "-rf", "\u200fmark",
                "x".repeat(2000) + "\n" + "y".repeat(2000)]
            const plain = createTemporaryObject(itemComponent, top, { name: "typescript", version: "5.3.3", identity: "TS" })
            waitForRendering(plain)
            verify(plain.height > 10)
            for (let i = 0; i < names.length; ++i) {
                const row = createTemporaryObject(itemComponent, top, { name: names[i], version: names[i], identity: names[i] })
                waitForRendering(row)
                compare(row.height, plain.height, "row height for name " + i)
                compare(findChild(row, "tagColumn").width, 118, "tag column for name " + i)
                const size = findChild(row, "sizeText")
                const right = size.mapToItem(row, size.width, 0).x
                verify(right <= row.width - 14 + 0.5 && right > row.width - 20, "size edge for name " + i)
                const name = findChild(row, "nameText")
                verify(name.width >= Math.min(180, name.naturalWidth) && name.x + name.width <= size.x,
                       "name width for name " + i)

                Object.assign(row, { evidence: ["Last used " + names[i]], reclaimCommand: "bun remove -g '" + names[i] + "'",
                                     path: "/p/" + names[i], expanded: true })
                waitForRendering(row)
                verify(row.height > plain.height && row.height < 2000, "expanded height for name " + i)
                verify(findChild(row, "terminalBlock").visible)
                const reveal = findChild(row, "reveal")
                verify(reveal.visible && reveal.x + reveal.width <= row.width, "reveal for name " + i)
            }
            // A text cut short shows whole while the pointer rests on it, also over the row's button.
            const longRow = createTemporaryObject(itemComponent, top, { name: "n", version: "", identity: "long identity ".repeat(20) })
            waitForRendering(longRow)
            const identity = findChild(longRow, "identityText"), tip = findChild(identity, "fullTextTip")
            verify(identity.truncated)
            mouseMove(identity, 20, 5)
            tryVerify(() => tip.visible, 2000)
            compare(tip.text, "long identity ".repeat(20))
            mouseMove(findChild(longRow, "sizeText"), 2, 2)
            tryVerify(() => !tip.visible, 2000)
        }
    }
}
