import QtQuick
import QtTest
import Kelvo
import "Fixtures.js" as F

Item {
    id: top
    width: 900
    height: 700

    Component {
        id: scanComponent
        ScanController {}
    }
    Component {
        id: panelComponent
        InventoryPanel {
            width: 900
            height: 700
            listLimit: 30
            // Stands in for the shell, which owns the selection.
            onSelectRequested: kind => selected = kind
        }
    }

    TestCase {
        name: "InventoryPanel"
        when: windowShown

        function init() {
            AppState.enabledManagers = Ui.managerKinds()
            AppState.sizeUnit = "decimal"
        }

        function items(prefix, count, tier) {
            const list = []
            for (let i = 0; i < count; ++i)
                list.push(F.item(prefix + i, (count - i) * 1e6, tier || "orphanCandidate"))
            return list
        }

        function win(command) {
            return { title: "Clean " + command, command: command, detail: "detail of " + command }
        }

        function makePanel(managers) {
            const scan = createTemporaryObject(scanComponent, top)
            fixture.load(scan, F.json(managers))
            scan.scan()
            tryCompare(scan, "hasResult", true, 5000)
            const panel = createTemporaryObject(panelComponent, top, { scan: scan })
            waitForRendering(panel)
            return panel
        }

        function test_folded_list_show_all_and_folding_again() {
            const panel = makePanel([F.report("npm", true, items("n", 31)), F.report("bun", true, items("b", 30))])
            mouseClick(findChild(panel, "tab_npm"))
            compare(panel.selected, "npm")
            compare(panel.list.count, 30)
            compare(findChild(panel, "sortLine").shownText, "SORT: SIZE \u2193 \u00b7 SHOWING 30 OF 31")
            panel.list.positionViewAtEnd()
            const button = findChild(panel, "showAllButton")
            verify(button.visible)
            compare(findChild(panel, "showAllLabel").shownText, "SHOW ALL 31 PACKAGES")
            compare(findChild(panel, "moreText").text, "1 more")
            mouseClick(button)
            compare(panel.list.count, 31)
            verify(!findChild(panel, "showAllButton").visible)

            // Exactly 30 rows: no button.
            mouseClick(findChild(panel, "tab_bun"))
            compare(panel.list.count, 30)
            verify(!findChild(panel, "showAllButton").visible)
            mouseClick(findChild(panel, "tab_npm"))
            compare(panel.list.count, 30)
            verify(findChild(panel, "showAllButton").visible)
            compare(panel.list.contentY, panel.list.originY) // a new list starts at the top
        }

        function test_in_use_keeps_dependencies_and_groups_follow_keep() {
            const panel = makePanel([
                F.report("homebrew", true, [F.item("openssl", 9e8, "signalOnly"), F.item("llvm", 8e8, "orphanCandidate")]),
                F.report("npm", true, [F.item("typescript", 7e8, "signalOnly")]),
                F.report("nvm", true, [F.item("v20.2.0", 6e8, "signalOnly"), F.item("v20.1.0", 1e8, "orphanCandidate"),
                                       F.item("v18.2.0", 5e8, "orphanCandidate"), F.item("v18.1.0", 1e8, "signalOnly")])])
            mouseClick(findChild(panel, "filter_signalOnly"))
            const list = panel.list
            compare(list.count, 3)
            const expected = [["openssl", "dependency"], ["typescript", "inUse"], ["Node 20", "likelyUnused"]]
            for (let i = 0; i < expected.length; ++i) {
                list.positionViewAtIndex(i, ListView.Contain)
                const row = list.itemAtIndex(i)
                compare(row.name, expected[i][0])
                compare(row.tag, expected[i][1])
            }
            compare(findChild(panel, "filter_signalOnly").selected, true)
            compare(findChild(panel, "filter_all").selected, false)
        }

        function test_one_expanded_row_and_filter_collapses_it() {
            const rows = items("n", 40)
            for (const row of rows) {
                row.reclaimCommand = "npm uninstall -g " + row.name
                row.path = "/usr/lib/node_modules/" + row.name
                row.evidence = [{ kind: "noDependents" }]
            }
            const panel = makePanel([F.report("npm", true, rows)])
            const list = panel.list
            mouseClick(findChild(list.itemAtIndex(0), "collapsedLine"))
            verify(list.itemAtIndex(0).expanded)
            const collapsedHeight = list.itemAtIndex(1).height
            tryVerify(() => list.itemAtIndex(0).height > collapsedHeight, 1000)
            mouseClick(findChild(list.itemAtIndex(1), "collapsedLine"))
            verify(!list.itemAtIndex(0).expanded)
            verify(list.itemAtIndex(1).expanded)
            tryCompare(list.itemAtIndex(0), "height", collapsedHeight, 1000)
            mouseClick(findChild(list.itemAtIndex(1), "collapsedLine"))
            verify(!list.itemAtIndex(1).expanded)

            // A row opened at the bottom edge scrolls into view.
            const last = list.itemAtIndex(20)
            list.contentY = last.y + last.height - list.height + 5
            verify(list.contentY > 0)
            mouseClick(findChild(last, "collapsedLine"), 20, 5)
            verify(last.expanded)
            tryVerify(() => last.height > 3 * collapsedHeight && last.y + last.height <= list.contentY + list.height + 0.5, 1000)

            list.positionViewAtBeginning()
            mouseClick(findChild(list.itemAtIndex(2), "collapsedLine"))
            mouseClick(findChild(panel, "expandWinsButton"))
            mouseClick(findChild(panel, "filter_orphanCandidate"))
            compare(panel.inventory.expandedRowId, "")
            verify(panel.inventory.quickWinsExpanded)
        }

        function test_disabled_manager_has_no_tab_but_counts_under_all() {
            AppState.enabledManagers = ["npm"]
            const panel = makePanel([F.report("homebrew", true, items("h", 4), { quickWins: [win("brew autoremove")] }),
                                     F.report("npm", true, items("n", 2))])
            verify(findChild(panel, "tab_homebrew") === null)
            compare(findChild(findChild(panel, "tab_all"), "countText").text, "6")
            compare(panel.list.count, 2)
            compare(findChild(panel, "quickWinsHeader").text, "0 safe quick wins")
        }

        function test_quick_wins_open_downwards_from_the_top() {
            const wins = []
            for (let i = 0; i < 6; ++i)
                wins.push(win("command " + i))
            const panel = makePanel([F.report("npm", true, items("n", 40), { quickWins: wins })])
            const list = panel.list
            compare(list.contentY, -list.headerItem.height) // the header shows from the start
            mouseClick(findChild(panel, "expandWinsButton"))
            const blocks = findChild(panel, "quickWinBlocks")
            tryVerify(() => blocks.height > 200, 1000)
            compare(list.contentY, -list.headerItem.height)
            const top = blocks.mapToItem(list, 0, 0).y
            verify(top >= 0 && top < 60, "quick wins begin at " + top)
            mouseClick(findChild(panel, "expandWinsButton"))
            tryCompare(blocks, "visible", false, 1000)
            compare(list.contentY, -list.headerItem.height)

            // Scrolled down among the rows, the rows stay put when the quick wins change.
            list.contentY = 400
            panel.inventory.quickWinsExpanded = true
            compare(list.contentY, 400)
        }

        function test_focused_tab_scrolls_into_a_narrow_strip() {
            const panel = makePanel([F.report("homebrew", true, items("h", 1)), F.report("npm", true, items("n", 1)),
                                     F.report("pnpm", true, items("p", 1)), F.report("nvm", true, items("v", 1)),
                                     F.report("bun", true, items("b", 1))])
            panel.width = 220
            const strip = findChild(panel, "managerTabs")
            compare(strip.contentX, 0)
            findChild(panel, "tab_bun").forceActiveFocus()
            verify(strip.contentX > 0)
            const bun = findChild(panel, "tab_bun")
            verify(bun.mapToItem(strip, bun.width, 0).x <= strip.width)
            findChild(panel, "tab_all").forceActiveFocus()
            compare(strip.contentX, 0)
        }

        function test_copy_all_and_quick_win_header() {
            const panel = makePanel([
                F.report("homebrew", true, items("h", 1), { quickWins: [win("brew autoremove"), win("brew cleanup")] }),
                F.report("npm", true, items("n", 1), { quickWins: [win("npm cache clean --force")] }),
                F.report("pnpm", true, [], { quickWins: [] })])
            compare(findChild(panel, "quickWinsHeader").text, "3 safe quick wins")
            mouseClick(findChild(panel, "copyAllButton"))
            compare(Ui.clipboardText(), "brew autoremove\nbrew cleanup\nnpm cache clean --force")

            mouseClick(findChild(panel, "tab_npm"))
            compare(findChild(panel, "quickWinsHeader").text, "1 safe quick win")
            mouseClick(findChild(panel, "expandWinsButton"))
            verify(findChild(panel, "quickWinBlocks").visible)
            compare(findChild(panel, "expandWinsLabel").shownText, "COLLAPSE")

            mouseClick(findChild(panel, "tab_pnpm"))
            compare(findChild(panel, "quickWinsHeader").text, "0 safe quick wins")
            verify(findChild(panel, "quickWinBlocks").visible) // survives the manager change
            Ui.copyText("left over")
            mouseClick(findChild(panel, "copyAllButton"))
            compare(Ui.clipboardText(), "")
        }
    }
}
