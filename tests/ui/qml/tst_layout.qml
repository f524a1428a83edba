import QtQuick
import QtTest
import Kelvo
import "Fixtures.js" as F

// Layout under hostile input: names straight from a disk or a tool (line breaks, terminal
// escapes, bidi overrides, lone surrogates, very long words) keep a row one line high with the
// tag column at 118 points and the size at the trailing edge; the main layout keeps its split.
Item {
    id: top
    width: 1100
    height: 700

    Component {
        id: itemComponent
        ItemRowView {
            width: 700
            tag: "safe"; barColor: "safe"; chip: "npm"; sizeText: "22 MB"; heat: "heat2"
            evidence: []; verdictText: "x"; reclaimCommand: ""; path: ""; expanded: false
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

    TestCase {
        name: "Layout"
        when: windowShown

        readonly property var names: [
            "new\nline\nthree", "cr\rreturn", "tab\tbed", "\u001b[31mred\u001b[0m", "\u001b]0;title\u0007",
            "rlo\u202egnp.exe", "isolate\u2066x\u2069", "sep\u2028line\u2029para", "nel\u0085line",
            "invalid\ufffd\ufffdutf8", "lone\ud800surrogate", "$(touch PWNED)", "-rf", "\u200fmark",
            "x".repeat(2000) + "\n" + "y".repeat(2000)
        ]

        function makeRow(name, extra) {
            const properties = { name: name, version: name, identity: name }
            for (const key in (extra || {}))
                properties[key] = extra[key]
            const row = createTemporaryObject(itemComponent, top, properties)
            waitForRendering(row)
            return row
        }

        function test_hostile_names_keep_the_row_shape() {
            const plainHeight = makeRow("typescript", { version: "5.3.3", identity: "TypeScript" }).height
            verify(plainHeight > 0)
            for (let i = 0; i < names.length; ++i) {
                const row = makeRow(names[i])
                compare(row.height, plainHeight, "row height for name " + i)
                compare(findChild(row, "tagColumn").width, 118, "tag column for name " + i)
                const size = findChild(row, "sizeText")
                const right = size.mapToItem(row, size.width, 0).x
                verify(right <= row.width - 14 + 0.5 && right > row.width - 20, "size edge for name " + i)
                const name = findChild(row, "nameText")
                verify(name.width >= Math.min(180, name.naturalWidth) && name.x + name.width <= size.x,
                       "name width for name " + i)
            }
        }

        function test_expanded_hostile_item_keeps_its_parts() {
            for (let i = 0; i < names.length; ++i) {
                const row = makeRow(names[i], { expanded: true, evidence: ["Last used " + names[i]],
                                                reclaimCommand: "bun remove -g '" + names[i] + "'",
                                                path: "/p/" + names[i] })
                verify(row.height > 0 && row.height < 2000, "expanded height for name " + i)
                verify(findChild(row, "terminalBlock").visible)
                const reveal = findChild(row, "reveal")
                verify(reveal.visible && reveal.x + reveal.width <= row.width, "reveal for name " + i)
            }
        }

        function test_evidence_chips_wrap_and_a_wide_chip_takes_a_row_of_its_own() {
            const row = makeRow("jq", { expanded: true, evidence: ["aaaa", "bbbb", "w".repeat(400), "cc", "dd"] })
            const flow = findChild(row, "evidenceSection").children[1]
            const chips = [0, 1, 2, 3, 4].map(i => flow.children[i])
            compare(chips.map(chip => chip.text.length), [4, 4, 400, 2, 2])
            compare(chips[0].y, chips[1].y)
            compare(chips[1].x, chips[0].width + 6)
            verify(chips[2].width > flow.width)
            compare(chips[2].x, 0)
            compare(chips[2].y, chips[0].height + 6)
            compare(chips[3].x, 0) // after the wide chip: a new row
            compare(chips[4].y, chips[3].y)
        }

        function test_the_rail_takes_forty_percent_beside_the_list() {
            const root = createTemporaryObject(rootComponent, top)
            verify(fixture.load(root.scan, F.json([F.report("npm", true, [F.item("a", 1)])])))
            root.rescan()
            tryCompare(root.scan, "hasResult", true, 5000)
            const rail = findChild(root, "leftRail")
            compare(rail.width, root.width * 0.4)
            const list = findChild(root, "inventoryList")
            compare(list.mapToItem(root, 0, 0).x, rail.width + 1)
            compare(list.mapToItem(root, list.width, 0).x, root.width)
        }
    }
}
