import QtQuick
import QtTest
import Kelvo
import "Fixtures.js" as F

Item {
    id: top
    width: 1100
    height: 700

    Component {
        id: sheetComponent
        SettingsView {
            width: 340
            height: 700
        }
    }
    Component {
        id: rootComponent
        RootView {
            width: 1100
            height: 700
            autoScan: false
        }
    }
    Component {
        id: spyComponent
        SignalSpy {}
    }

    TestCase {
        name: "SettingsView"
        when: windowShown

        function init() {
            AppState.enabledManagers = Ui.managerKinds()
            AppState.theme = "system"
            AppState.sizeUnit = "decimal"
            ThemeData.systemDark = false
        }

        function managerRow(sheet, kind) {
            return findChild(sheet, "manager_" + kind)
        }

        function test_options_show_the_current_value_and_set_it_once() {
            const sheet = createTemporaryObject(sheetComponent, top)
            verify(findChild(sheet, "theme_system").current)
            verify(!findChild(sheet, "theme_dark").current)
            let themeChanges = 0
            const countTheme = () => ++themeChanges
            AppState.themeChanged.connect(countTheme)
            mouseClick(findChild(sheet, "theme_dark"))
            compare(AppState.theme, "dark")
            verify(ThemeData.dark)
            verify(findChild(sheet, "theme_dark").current)
            verify(!findChild(sheet, "theme_system").current)
            mouseClick(findChild(sheet, "theme_dark"))
            AppState.themeChanged.disconnect(countTheme)
            compare(themeChanges, 1)

            let unitChanges = 0
            const countUnit = () => ++unitChanges
            AppState.sizeUnitChanged.connect(countUnit)
            mouseClick(findChild(sheet, "unit_decimal"))
            AppState.sizeUnitChanged.disconnect(countUnit)
            compare(unitChanges, 0)
            mouseClick(findChild(sheet, "unit_binary"))
            compare(AppState.sizeUnit, "binary")
            verify(findChild(sheet, "unit_binary").current)
        }

        function test_no_result_shows_not_detected_and_only_the_rescan_button() {
            const sheet = createTemporaryObject(sheetComponent, top)
            for (const kind of Ui.managerKinds()) {
                verify(findChild(managerRow(sheet, kind), "notDetected").visible, kind)
                verify(!findChild(managerRow(sheet, kind), "managerSize").visible, kind)
            }
            verify(!findChild(sheet, "lastScan").visible)
            verify(findChild(sheet, "rescanNow").visible)
            const spy = createTemporaryObject(spyComponent, top, { target: sheet, signalName: "rescan" })
            mouseClick(findChild(sheet, "rescanNow"))
            compare(spy.count, 1)
        }

        function test_updates_follow_the_updater() {
            const sheet = createTemporaryObject(sheetComponent, top)
            compare(Updater.canCheckForUpdates, false)
            verify(!findChild(sheet, "checkForUpdates").enabled)
            const before = Updater.automaticallyChecksForUpdates
            mouseClick(findChild(sheet, "autoCheck"))
            compare(Updater.automaticallyChecksForUpdates, !before)
            verify(findChild(sheet, "autoCheck").checked === !before)
            Updater.automaticallyChecksForUpdates = before
        }

        function test_managers_sizes_and_unchecking_every_manager() {
            const root = createTemporaryObject(rootComponent, top)
            fixture.load(root.scan, F.json([
                F.report("homebrew", true, [F.item("a", 5e9, "orphanCandidate")]),
                F.report("npm", true, [F.item("b", 2e9)]),
                F.report("pnpm", true, [F.item("store", 1e9, "safeByDesign")]),
                F.report("nvm", false, [F.item("v1.0.0", 1e9)]),
                F.report("bun", false)]))
            root.rescan()
            tryCompare(root.scan, "hasResult", true, 5000)
            root.showSettings = true
            const sheet = findChild(root, "settingsView")
            tryCompare(sheet, "x", root.width - 340, 1000)
            compare(sheet.width, 340)

            compare(findChild(managerRow(sheet, "homebrew"), "managerSize").text, AppState.formatBytes(5e9))
            verify(findChild(managerRow(sheet, "nvm"), "notDetected").visible) // checked but not detected
            verify(findChild(managerRow(sheet, "nvm"), "check").checked)
            verify(/^Last scan \d\d:\d\d$/.test(findChild(sheet, "lastScan").text))

            for (const kind of Ui.managerKinds())
                mouseClick(findChild(managerRow(sheet, kind), "check"))
            compare(AppState.enabledManagers, [])
            verify(findChild(root, "countLine").text.indexOf("0 of 5") === 0)
            compare(findChild(root, "cards").count, 0)
            mouseClick(findChild(managerRow(sheet, "npm"), "check"))
            compare(AppState.enabledManagers, ["npm"])
            verify(findChild(managerRow(sheet, "npm"), "check").checked)

            // Re-scan keeps the sheet open.
            mouseClick(findChild(sheet, "rescanNow"))
            verify(root.scan.isScanning)
            verify(root.showSettings)
            tryCompare(root.scan, "hasResult", true, 5000)
            mouseClick(findChild(sheet, "closeButton"))
            verify(!root.showSettings)
            tryCompare(sheet, "visible", false, 1000)
        }
    }
}
