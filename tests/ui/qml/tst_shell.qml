import QtQuick
import QtTest
import Kelvo
import "Fixtures.js" as F

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
        name: "Shell"
        when: windowShown

        function init() {
            AppState.enabledManagers = Ui.managerKinds()
            AppState.theme = "system"
            ThemeData.systemDark = false
        }

        function makeRoot(delays) {
            const root = createTemporaryObject(rootComponent, top)
            fixture.load(root.scan, F.json([
                F.report("homebrew", true, [F.item("a", 5e9, "orphanCandidate")]),
                F.report("npm", true, [F.item("b", 2e9)]),
                F.report("pnpm", true, [F.item("store", 1e9, "safeByDesign")]),
                F.report("nvm", false), F.report("bun", false)], delays))
            return root
        }

        function railCards(root) {
            const repeater = findChild(root, "cards")
            const items = []
            for (let i = 0; i < repeater.count; ++i)
                items.push(repeater.itemAt(i))
            return items
        }

        function test_start_screen_progress_and_main_layout() {
            const root = makeRoot({ homebrew: 0, npm: 0, pnpm: 1500 })
            const scanView = findChild(root, "scanView")
            verify(scanView.visible)
            verify(findChild(root, "scanButton").visible)
            mouseClick(findChild(root, "scanButton"))
            compare(root.scan.isScanning, true)
            verify(findChild(root, "progress").visible)
            verify(!findChild(root, "scanButton").visible)
            compare(findChild(root, "detectingLabel").shownText, "DETECTING MANAGERS\u2026")
            // The fast adapters finish first and their names show done.
            tryVerify(() => root.scan.finishedKinds.indexOf("npm") >= 0, 3000)
            compare(root.scan.isScanning, true)
            const progress = findChild(root, "managerProgress")
            compare(progress.count, 5)
            verify(progress.itemAt(1).done)
            verify(!progress.itemAt(2).done)
            tryCompare(root.scan, "hasResult", true, 5000)
            verify(!scanView.visible)
            verify(findChild(root, "mainLayout") !== null)
        }

        function test_rescan_shows_start_screen_and_keeps_selection() {
            const root = makeRoot({ npm: 600 })
            root.rescan()
            tryCompare(root.scan, "hasResult", true, 5000)
            mouseClick(railCards(root)[1])
            compare(root.selectedTab, "npm")
            mouseClick(findChild(root, "rescanButton"))
            verify(findChild(root, "scanView").visible)
            verify(findChild(root, "progress").visible)
            compare(root.scan.hasResult, false)
            tryCompare(root.scan, "hasResult", true, 5000)
            compare(root.selectedTab, "npm")
            const cards = railCards(root)
            verify(cards[1].selected)
            verify(!cards[0].selected)
        }

        function test_appearance_toggle() {
            const root = makeRoot({})
            const toggle = findChild(root, "appearanceToggle")
            ThemeData.systemDark = true
            compare(ThemeData.dark, true)
            compare(toggle.text, "Light mode")
            mouseClick(toggle)
            compare(AppState.theme, "light")
            compare(toggle.text, "Dark mode")
            compare(Theme.color("bg"), ThemeData.palette["bg"])
            mouseClick(toggle)
            compare(AppState.theme, "dark")
            ThemeData.systemDark = false
            compare(ThemeData.dark, true)
        }

        function test_closing_the_window_during_a_scan() {
            let root = makeRoot({ homebrew: 300, npm: 500 })
            root.rescan()
            verify(root.scan.isScanning)
            root.destroy()
            root = null
            // The adapters finish after their window is gone; their results go nowhere.
            wait(800)
            const next = makeRoot({})
            next.rescan()
            tryCompare(next.scan, "hasResult", true, 5000)
        }

        function test_settings_slide_in_from_the_trailing_edge() {
            const root = makeRoot({})
            const sheet = findChild(root, "settingsView")
            verify(!sheet.visible)
            mouseClick(findChild(root, "settingsButton"))
            compare(root.showSettings, true)
            tryCompare(sheet, "x", root.width - 340, 1000)
            verify(sheet.visible)
            mouseClick(findChild(sheet, "closeButton"))
            compare(root.showSettings, false)
            tryVerify(() => !sheet.visible, 1000)
        }
    }
}
