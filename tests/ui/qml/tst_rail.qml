import QtQuick
import QtTest
import Kelvo
import "Fixtures.js" as F

Item {
    id: top
    width: 480
    height: 900

    Component {
        id: scanComponent
        ScanController {}
    }
    Component {
        id: railComponent
        LeftRail {
            width: 480
            height: 900
        }
    }

    TestCase {
        name: "LeftRail"
        when: windowShown

        function init() {
            AppState.enabledManagers = Ui.managerKinds()
            AppState.sizeUnit = "decimal"
        }

        function makeRail(managers) {
            const scan = createTemporaryObject(scanComponent, top)
            fixture.load(scan, F.json(managers))
            scan.scan()
            tryCompare(scan, "hasResult", true, 5000)
            return createTemporaryObject(railComponent, top, { scan: scan })
        }

        function cardItems(rail) {
            const repeater = findChild(rail, "cards")
            const items = []
            for (let i = 0; i < repeater.count; ++i)
                items.push(repeater.itemAt(i))
            return items
        }

        function test_cards_ordered_by_total_with_stable_ties() {
            const rail = makeRail([
                F.report("homebrew", true, [F.item("a", 5e9)]),
                F.report("npm", true, [F.item("b", 3e9), F.item("c", 2e9)]),
                F.report("pnpm", true, [F.item("store")]),
                F.report("nvm", true, [F.item("v1", 6e9)]),
                F.report("bun", false, [F.item("x", 9e9)])])
            compare(rail.model.cardKinds, ["nvm", "homebrew", "npm", "pnpm"])
            const cards = cardItems(rail)
            compare(cards.length, 4)
            verify(cards[0].y < cards[1].y && cards[1].y < cards[2].y)
            compare(cards[3].card.sizeText, AppState.formatBytes(0))
        }

        function test_selection_toggle() {
            const rail = makeRail([F.report("homebrew", true, [F.item("a", 5e9)]),
                                   F.report("npm", true, [F.item("b", 1e9)])])
            const spy = createTemporaryObject(signalSpyComponent, top, { target: rail, signalName: "selectRequested" })
            rail.selectRequested.connect(kind => rail.selected = kind)
            const cards = cardItems(rail)
            mouseClick(cards[0])
            compare(rail.selected, "homebrew")
            verify(cards[0].selected)
            mouseClick(cards[1])
            compare(rail.selected, "npm")
            verify(!cards[0].selected && cards[1].selected)
            mouseClick(cards[1])
            compare(rail.selected, "")
            compare(spy.count, 3)
        }

        Component {
            id: signalSpyComponent
            SignalSpy {}
        }

        function test_manager_count_singular_and_plural() {
            let rail = makeRail([F.report("homebrew", true, [F.item("a", 1)]), F.report("npm", false)])
            verify(rail.model.subtitle.endsWith(" total \u00B7 1 manager \u00B7 1 packages"), rail.model.subtitle)
            rail = makeRail([F.report("homebrew", true, [F.item("a", 1), F.item("b", 2)]),
                             F.report("npm", true, [])])
            verify(rail.model.subtitle.endsWith(" total \u00B7 2 managers \u00B7 2 packages"), rail.model.subtitle)
            compare(findChild(rail, "subtitle").text, rail.model.subtitle)
        }

        function test_not_detected_lists_only_enabled_undetected_managers() {
            const rail = makeRail([F.report("homebrew", false), F.report("npm", true, [F.item("a", 1)]),
                                   F.report("pnpm", false), F.report("nvm", true, []), F.report("bun", false)])
            const line = findChild(rail, "notDetected")
            compare(line.text, "Not detected: Homebrew \u00B7 pnpm \u00B7 bun")
            verify(line.visible)
            AppState.setEnabled("pnpm", false)
            compare(line.text, "Not detected: Homebrew \u00B7 bun")
            AppState.enabledManagers = ["npm", "nvm"]
            compare(line.text, "")
            verify(!line.visible)
        }

        function test_count_line_and_totals_cover_the_whole_result() {
            const rail = makeRail([F.report("homebrew", true, [F.item("a", 2e9, "orphanCandidate")]),
                                   F.report("npm", true, [F.item("b", 1), F.item("c", 1)]),
                                   F.report("pnpm", true, [F.item("d", 5)]),
                                   F.report("nvm", false), F.report("bun", false)])
            compare(findChild(rail, "countLine").text, "3 of 5 managers detected \u00B7 4 packages inventoried")
            compare(rail.model.bigNumber + " " + rail.model.bigUnit, "~" + AppState.formatBytes(2e9))
            AppState.setEnabled("homebrew", false)
            // The card goes; the summary still covers every report.
            compare(findChild(rail, "countLine").text, "2 of 5 managers detected \u00B7 4 packages inventoried")
            compare(rail.model.bigNumber + " " + rail.model.bigUnit, "~" + AppState.formatBytes(2e9))
            AppState.sizeUnit = "binary"
            compare(rail.model.bigNumber + " " + rail.model.bigUnit, "~" + AppState.formatBytes(2e9))
        }

        function test_reclaim_and_prunable_notes() {
            const rail = makeRail([F.report("homebrew", true, [F.item("a", 3e8, "orphanCandidate")]),
                                   F.report("npm", true, [F.item("b", 2e8)]),
                                   F.report("pnpm", true, [F.item("store", 1e8, "safeByDesign")])])
            const cards = cardItems(rail)
            const note = card => findChild(card, "note")
            compare(note(cards[0]).text, "+" + AppState.formatBytes(3e8) + " reclaimable")
            verify(note(cards[0]).visible)
            compare(note(cards[0]).color, Theme.color("accent"))
            verify(!note(cards[1]).visible)
            compare(note(cards[2]).text, "Prunable \u2014 pnpm decides")
            compare(note(cards[2]).color, Theme.color("safe"))
        }
    }
}
